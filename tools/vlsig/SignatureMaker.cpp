// Instruction masking and shortest-signature search.
#include "tools/vlsig/SignatureMaker.h"

#include <capstone/capstone.h>
#include <elf.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

InstructionMasker::InstructionMasker(uint64_t got, const std::vector<uint64_t>* relocations, bool code64)
    : got_(got), relocations_(relocations), code64_(code64) {
    csh handle = 0;
    if (cs_open(CS_ARCH_X86, code64 ? CS_MODE_64 : CS_MODE_32, &handle) != CS_ERR_OK) return;
    cs_option(handle, CS_OPT_DETAIL, CS_OPT_ON);
    handle_ = handle;
    ready_ = true;
}

InstructionMasker::InstructionMasker(const LibraryImage& image)
    : InstructionMasker(image.Elf().GotAddress(), &image.Relocations(), image.Elf().FileClass() == ELFCLASS64) {}

InstructionMasker::~InstructionMasker() {
    if (!ready_) return;
    csh handle = handle_;
    cs_close(&handle);
}

bool InstructionMasker::Relocated(uint64_t from, uint32_t length) const {
    if (!relocations_) return false;
    // A relocation patches a word at its address: any overlap with [from, from + length).
    // Compared as distances from `low`, which no address near the top of the space wraps.
    const uint64_t reach = code64_ ? 7 : 3;
    const uint64_t low = from >= reach ? from - reach : 0;
    auto it = std::lower_bound(relocations_->begin(), relocations_->end(), low);
    return it != relocations_->end() && *it - low < (from - low) + length;
}

size_t InstructionMasker::Mask(const unsigned char* code, size_t size, uint64_t address, std::string* mask) {
    if (!ready_) return 0;
    const csh handle = handle_;
    cs_insn* insn = cs_malloc(handle);
    const uint8_t* next = code;
    size_t left = size;
    uint64_t at = address;
    size_t masked = 0;
    while (left > 0 && cs_disasm_iter(handle, &next, &left, &at, insn)) {
        const cs_x86& x86 = insn->detail->x86;
        std::string piece(insn->size, 'x');
        auto wildcard = [&piece](size_t offset, size_t length) {
            for (size_t i = offset; i < offset + length && i < piece.size(); ++i) piece[i] = '?';
        };
        bool relativeBranch = false;
        for (uint8_t g = 0; g < insn->detail->groups_count; ++g) {
            if (insn->detail->groups[g] == CS_GRP_BRANCH_RELATIVE) relativeBranch = true;
        }
        if (relativeBranch) {
            // The displacement is the instruction's last bytes: 1 for a short branch, else
            // 4 (2 under an operand-size prefix), as its immediate's size says.
            size_t length = x86.encoding.imm_size;
            if (length == 0) length = insn->size >= 5 ? 4 : 1;
            wildcard(insn->size - length, length);
        } else {
            // A displacement of 4 bytes (8 in the x86-64 moffs forms) holds an address, an
            // offset from the GOT register, or an offset from the next instruction.
            if (x86.encoding.disp_size >= 4) wildcard(x86.encoding.disp_offset, x86.encoding.disp_size);
            // A RIP-relative displacement is always 4 bytes, whatever size the decoder
            // gives (it says 2 under an operand-size prefix, as in movdqa xmm0, [rip + d]).
            for (uint8_t o = 0; o < x86.op_count; ++o) {
                if (x86.operands[o].type == X86_OP_MEM && x86.operands[o].mem.base == X86_REG_RIP)
                    wildcard(x86.encoding.disp_offset, 4);
            }
            // The moffs forms (A0-A3) carry an absolute address, of the address size,
            // without a ModRM byte.
            const uint8_t opcode = x86.opcode[0];
            const size_t moffs = x86.addr_size == 8 ? 8 : 4;
            if (opcode >= 0xA0 && opcode <= 0xA3 && insn->size > moffs) wildcard(insn->size - moffs, moffs);
            if (x86.encoding.imm_size == 4) {
                uint32_t imm = 0;
                memcpy(&imm, insn->bytes + x86.encoding.imm_offset, 4);
                // 32-bit PIC adds a PC to reach the GOT, in 32-bit arithmetic.
                const uint32_t reached = static_cast<uint32_t>(insn->address) + imm;
                if ((!code64_ && got_ && reached == got_) || Relocated(insn->address + x86.encoding.imm_offset, 4))
                    wildcard(x86.encoding.imm_offset, 4);
            }
        }
        // Any word the loader patches is an absolute address, whatever the operand.
        for (uint32_t i = 0; i < insn->size; ++i) {
            if (Relocated(insn->address + i, 1)) piece[i] = '?';
        }
        mask->append(piece);
        masked += insn->size;
        if (insn->id == X86_INS_RET || insn->id == X86_INS_JMP) break;
    }
    cs_free(insn, 1);
    return masked;
}

std::string MadeSignature::Hex() const {
    std::string text;
    char pair[3];
    for (unsigned char c : bytes) {
        snprintf(pair, sizeof(pair), "%02X", c);
        text += pair;
    }
    return text;
}

bool MakeSignature(LibraryImage& image, InstructionMasker& masker, uint64_t address, uint64_t size,
                   MadeSignature* out) {
    out->bytes.clear();
    out->mask.clear();
    out->error.clear();
    size_t available = 0;
    const unsigned char* code = image.CodeAt(address, &available);
    if (!code) {
        out->error = "the function's address is not in the library's code";
        return false;
    }
    size_t limit = std::min(available, kMaxSignatureBytes);
    if (size > 0 && size < limit) limit = static_cast<size_t>(size);
    std::string mask;
    limit = masker.Mask(code, limit, address, &mask);
    if (limit == 0) {
        out->error = "the function's first instruction cannot be decoded";
        return false;
    }

    // Candidates: every place in the code where the first fixed byte matches, as the
    // start of a match; each further fixed byte filters them, and the first length at
    // which one is left is the shortest signature.
    const size_t first = mask.find('x');
    if (first == std::string::npos || first >= limit) {
        out->error = "every byte of the function's code is a wildcard";
        return false;
    }
    std::vector<const unsigned char*> candidates;
    for (const CodeRange& range : image.CodeRanges()) {
        if (range.size <= first) continue;
        const unsigned char* p = range.begin + first;
        const unsigned char* end = range.begin + range.size;
        while (p < end && (p = static_cast<const unsigned char*>(memchr(p, code[first], size_t(end - p))))) {
            candidates.push_back(p - first);
            ++p;
        }
    }
    auto rangeEnd = [&image](const unsigned char* p) {
        for (const CodeRange& range : image.CodeRanges()) {
            if (p >= range.begin && p < range.begin + range.size) return range.begin + range.size;
        }
        return p;
    };
    std::vector<const unsigned char*> ends;
    ends.reserve(candidates.size());
    for (const unsigned char* c : candidates) ends.push_back(rangeEnd(c));
    size_t length = first + 1;
    while (candidates.size() > 1 && length < limit) {
        ++length;
        const size_t i = length - 1;
        if (mask[i] != 'x') continue;
        size_t kept = 0;
        for (size_t k = 0; k < candidates.size(); ++k) {
            const unsigned char* c = candidates[k];
            if (size_t(ends[k] - c) <= i || c[i] != code[i]) continue;
            candidates[kept] = c;
            ends[kept] = ends[k];
            ++kept;
        }
        candidates.resize(kept);
        ends.resize(kept);
    }
    if (candidates.size() != 1) {
        char text[160];
        snprintf(text, sizeof(text), "no unique signature in its first %zu bytes (%zu places match them all)", limit,
                 candidates.size());
        out->error = text;
        return false;
    }
    out->bytes.assign(reinterpret_cast<const char*>(code), length);
    out->mask = mask.substr(0, length);

    // The proof: the scanner the plugin uses finds it once, at the function.
    const unsigned char* found = nullptr;
    const size_t matches = image.Scanner().Count(reinterpret_cast<const unsigned char*>(out->bytes.data()),
                                                 out->mask.c_str(), length, &found);
    uint64_t foundAddress = 0;
    if (matches != 1 || !image.AddressOf(found, &foundAddress) || foundAddress != address) {
        out->error = "the signature made does not match once at the function";
        return false;
    }
    return true;
}
