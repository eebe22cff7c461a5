// Fuzz target for the signature tool's reading of a library file: any bytes, taken as a
// library, either fail with a reason or give exports, code segments and address mappings
// that stay inside the bytes, and a signature made at each exported function (decoded by
// the x86 decoder, in the library's own mode) that the scanner finds at that function.
// Seeded with damaged copies of small shared libraries of both classes.
#include <stddef.h>
#include <stdint.h>

#include "fuzz/FuzzCheck.h"
#include "tools/vlsig/LibraryImage.h"
#include "tools/vlsig/SignatureMaker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LibraryImage image;
    if (!image.OpenBytes(data, size)) {
        FUZZ_CHECK(!image.Error().empty());
        return 0;
    }
    const ElfSymbolTable& elf = image.Elf();
    for (int i = 0; i < elf.CodeSegmentCount(); ++i) {
        const ElfCodeSegment& segment = elf.CodeSegment(i);
        FUZZ_CHECK(uint64_t(segment.fileOffset) + segment.size <= size);
        uint32_t offset = 0;
        FUZZ_CHECK(elf.AddressToOffset(segment.address + segment.size - 1, 1, &offset));
        FUZZ_CHECK(uint64_t(offset) < size);
    }
    InstructionMasker masker(image);
    int made = 0;
    for (uint32_t i = 0; i < elf.SymbolCount(true) && made < 8; ++i) {
        ElfSymbolInfo info;
        if (!elf.SymbolAt(true, i, &info) || !info.function) continue;
        // Every named export is found by its name (an empty name never is).
        uint64_t value = 0;
        FUZZ_CHECK(!info.name[0] || image.FindExport(info.name, &value));
        MadeSignature signature;
        if (MakeSignature(image, masker, info.value, info.size, &signature)) {
            FUZZ_CHECK(signature.bytes.size() == signature.mask.size() && !signature.bytes.empty());
            ++made;
        }
    }
    return 0;
}
