// Fuzz target for the full-symbol-table reader: any bytes, taken as a library file,
// either fail with a reason or yield a table whose lookups stay inside the bytes.
// Damaged copies of a small shared library in the seed corpus steer it into the
// section headers, the symbol table and its names.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz/FuzzCheck.h"
#include "sigscan/ElfSymbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ElfSymbolTable table;
    const bool opened = table.OpenBytes(data, size);
    FUZZ_CHECK(opened == (table.Error()[0] == '\0'));
    uintptr_t value = 0;
    const char* names[] = {"GameExported", "GameHidden", "GameData", "", "x"};
    for (const char* name : names) {
        const bool found = table.Find(name, &value);
        FUZZ_CHECK(opened || !found);
        FUZZ_CHECK(name[0] != '\0' || !found);
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
