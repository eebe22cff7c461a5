// Reading a loaded module's ELF symbol table from its file, every offset bounds-checked.
#include "host/engine/ModuleSymbols.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>

namespace {

// A copy of the `T` at `offset`, or false when it does not lie wholly inside `file`.
template <typename T>
bool ReadAt(const std::vector<char>& file, size_t offset, T* out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    memcpy(out, file.data() + offset, sizeof(T));
    return true;
}

std::string Demangled(const char* name) {
    int status = 0;
    char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && plain ? plain : name;
    free(plain);
    size_t paren = result.find('(');
    return paren == std::string::npos ? result : result.substr(0, paren);
}

}  // namespace

bool CModuleSymbols::Read(void* module) {
    symbols_.clear();
    link_map* map = nullptr;
    if (!module || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return false;
    std::ifstream in(map->l_name, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Elf32_Ehdr header;
    if (!ReadAt(file, 0, &header) || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS32 || header.e_shentsize != sizeof(Elf32_Shdr)) {
        return false;
    }
    auto section = [&](size_t index, Elf32_Shdr* out) {
        return index < header.e_shnum && ReadAt(file, uint64_t(header.e_shoff) + index * sizeof(Elf32_Shdr), out);
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        Elf32_Shdr table, strings;
        if (!section(i, &table) || table.sh_type != SHT_SYMTAB || !section(table.sh_link, &strings)) continue;
        if (strings.sh_offset > file.size() || file.size() - strings.sh_offset < strings.sh_size) {
            symbols_.clear();
            return false;
        }
        for (size_t at = 0; at + sizeof(Elf32_Sym) <= table.sh_size; at += sizeof(Elf32_Sym)) {
            Elf32_Sym symbol;
            if (!ReadAt(file, uint64_t(table.sh_offset) + at, &symbol)) {
                symbols_.clear();
                return false;
            }
            int type = ELF32_ST_TYPE(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (type != STT_FUNC && type != STT_OBJECT)) continue;
            if (symbol.st_name >= strings.sh_size) continue;
            const char* name = file.data() + strings.sh_offset + symbol.st_name;
            size_t length = strnlen(name, strings.sh_size - symbol.st_name);
            symbols_.push_back({std::string(name, length), map->l_addr + symbol.st_value});
        }
    }
    return !symbols_.empty();
}

void* CModuleSymbols::Address(const char* name) const {
    for (const Symbol& symbol : symbols_) {
        if (symbol.name == name) return reinterpret_cast<void*>(symbol.address);
    }
    return nullptr;
}

std::string CModuleSymbols::NameAt(const void* address) const {
    unsigned long where = reinterpret_cast<unsigned long>(address);
    for (const Symbol& symbol : symbols_) {
        if (symbol.address == where) return Demangled(symbol.name.c_str());
    }
    Dl_info info;
    if (dladdr(address, &info) && info.dli_sname && info.dli_saddr == address) return Demangled(info.dli_sname);
    char text[32];
    snprintf(text, sizeof(text), "%p", address);
    return text;
}
