// Making a signature for a function: the shortest run of its first bytes that, under a
// mask, matches exactly once in the library's code. The mask wildcards what changes from
// build to build, decided per instruction by decoding whole instructions (Capstone, in
// the library's own mode: 32-bit x86 or x86-64): relative branch and call displacements,
// 32-bit and wider displacements of memory operands (a global's absolute address, a PIC
// offset from the GOT register, a RIP-relative offset to a global, a large structure
// offset), an immediate that the loader relocates, and, in 32-bit code, the immediate
// that adds a PC to reach the GOT.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/vlsig/LibraryImage.h"

// Masks instructions. Not copyable: it owns a decoder handle.
class InstructionMasker {
public:
    // `got`: the GOT's load address (0 for none); `relocations`: sorted load addresses
    // that dynamic relocations patch (each a word of 8 bytes in x86-64 code, else 4);
    // `code64`: the code is x86-64 (else 32-bit x86).
    InstructionMasker(uint64_t got, const std::vector<uint64_t>* relocations, bool code64);
    // The same for `image`'s code, GOT and relocations; it must outlive the masker.
    explicit InstructionMasker(const LibraryImage& image);
    ~InstructionMasker();
    InstructionMasker(const InstructionMasker&) = delete;
    InstructionMasker& operator=(const InstructionMasker&) = delete;

    bool Ready() const { return ready_; }

    // Decodes whole instructions from `code` (`size` bytes, loaded at `address`) and
    // appends one mask character per byte ('x' fixed, '?' wildcard) to *mask. Stops
    // before an instruction that does not fit in `size` or cannot be decoded, and after
    // an instruction that leaves the function (ret, jmp); returns the bytes masked.
    size_t Mask(const unsigned char* code, size_t size, uint64_t address, std::string* mask);

private:
    bool Relocated(uint64_t from, uint32_t length) const;

    size_t handle_ = 0;
    bool ready_ = false;
    uint64_t got_;
    const std::vector<uint64_t>* relocations_;
    bool code64_;
};

struct MadeSignature {
    std::string bytes;  // the signature's bytes (wildcarded ones as in the library)
    std::string mask;   // same length
    std::string error;  // why none was made; empty on success

    // The signature as the data file writes it: upper-case hexadecimal digit pairs.
    std::string Hex() const;
};

// The longest signature tried: a function's first bytes up to this many.
const size_t kMaxSignatureBytes = 256;

// Makes the shortest signature starting at the function at `address` (of `size` bytes,
// 0 when unknown) that matches exactly once in the image's code, using its bytes up to
// the function's end (or kMaxSignatureBytes), and verifies it with the image's scanner:
// one match, at `address`. On failure returns false with the reason in out->error.
bool MakeSignature(LibraryImage& image, InstructionMasker& masker, uint64_t address, uint64_t size,
                   MadeSignature* out);
