// The full symbol table of a loaded module, read from its file: hidden symbols included,
// which dlsym cannot see. The host uses it to show and the tests to check the state a
// plugin keeps to itself (the math library's selected routines and tables).
#pragma once

#include <string>
#include <vector>

class CModuleSymbols {
public:
    // Reads the symbol table of the module behind a dlopen handle. False (and empty)
    // when the file cannot be read, is not an ELF file of this build's class, or has no
    // symbol table.
    bool Read(void* module);

    // Run-time address of the symbol with exactly this (mangled) name, or null.
    void* Address(const char* name) const;
    // Name of the function or object starting at `address`: demangled without its
    // parameter list, from the module's table or else from the loader's dynamic symbols;
    // the address in hexadecimal when neither knows it.
    std::string NameAt(const void* address) const;

private:
    struct Symbol {
        std::string name;
        unsigned long address;
    };
    std::vector<Symbol> symbols_;
};
