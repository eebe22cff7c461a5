// Fuzz target for the full-symbol-table reader: any bytes, taken as a library file,
// either fail with a reason or yield a table whose lookups stay inside the bytes, and
// whose pointer-width lookup agrees with the whole value wherever that fits a pointer.
// Damaged copies of small shared libraries of both classes (32-bit and 64-bit) in the
// seed corpus steer it into the section headers, the symbol table and its names.
#include <elf.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz/FuzzCheck.h"
#include "sigscan/ElfSymbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ElfSymbolTable table;
    const bool opened = table.OpenBytes(data, size);
    FUZZ_CHECK(opened == (table.Error()[0] == '\0'));
    FUZZ_CHECK(!opened || table.FileClass() == ELFCLASS32 || table.FileClass() == ELFCLASS64);
    uintptr_t value = 0;
    const char* names[] = {"GameExported", "GameHidden", "GameData", "", "x"};
    for (const char* name : names) {
        const bool found = table.Find(name, &value);
        FUZZ_CHECK(opened || !found);
        FUZZ_CHECK(name[0] != '\0' || !found);
        uint64_t whole = 0;
        const bool foundWhole = table.FindSized(name, &whole, nullptr);
        FUZZ_CHECK(found == (foundWhole && whole <= UINTPTR_MAX));
        FUZZ_CHECK(!found || value == whole);
    }
    // Names taken from the input itself reach every comparison length.
    if (opened && size > 8) {
        char name[9];
        memcpy(name, data + size - 8, 8);
        name[8] = '\0';
        table.Find(name, &value);
    }
    return 0;
}
