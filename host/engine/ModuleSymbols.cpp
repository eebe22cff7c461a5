// Reading a loaded module's ELF symbol table from its file, every offset bounds-checked.
// A module loaded here has this process's own ELF class, so the native types (ElfW) read
// it, in a 32-bit and a 64-bit build alike.
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

// This process's ELF class, which the module's file must have.
const unsigned char kNativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

// A copy of the `T` at `offset`, or false when it does not lie wholly inside `file`.
// The offset is 64-bit so that a sum of file fields is never cut to a 32-bit size_t.
template <typename T>
bool ReadAt(const std::vector<char>& file, uint64_t offset, T* out) {
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

    ElfW(Ehdr) header;
    if (!ReadAt(file, 0, &header) || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != kNativeClass || header.e_shentsize != sizeof(ElfW(Shdr))) {
        return false;
    }
    auto section = [&](size_t index, ElfW(Shdr)* out) {
        return index < header.e_shnum && ReadAt(file, uint64_t(header.e_shoff) + index * sizeof(ElfW(Shdr)), out);
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        ElfW(Shdr) table, strings;
        if (!section(i, &table) || table.sh_type != SHT_SYMTAB || !section(table.sh_link, &strings)) continue;
        if (strings.sh_offset > file.size() || file.size() - strings.sh_offset < strings.sh_size) {
            symbols_.clear();
            return false;
        }
        for (uint64_t at = 0; at + sizeof(ElfW(Sym)) <= table.sh_size; at += sizeof(ElfW(Sym))) {
            ElfW(Sym) symbol;
            if (!ReadAt(file, uint64_t(table.sh_offset) + at, &symbol)) {
                symbols_.clear();
                return false;
            }
            int type = ELF32_ST_TYPE(symbol.st_info);  // the same bits in both classes
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
