// ELF files in tests: a file's bytes, typed reads and writes at an offset, and the types
// of each ELF class, so that one test body (a typed test) damages and checks 32-bit and
// 64-bit files alike. The tests find what they change here, independently of the reader.
#pragma once

#include <elf.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

inline std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
T Get(const std::vector<unsigned char>& bytes, size_t offset) {
    T value;
    memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}
template <typename T>
void Put(std::vector<unsigned char>& bytes, size_t offset, T value) {
    memcpy(bytes.data() + offset, &value, sizeof(T));
}

// `Other` is the other class: its entry sizes are the wrong ones that a reader must refuse.
struct Elf64Types;
struct Elf32Types {
    using Ehdr = Elf32_Ehdr;
    using Shdr = Elf32_Shdr;
    using Phdr = Elf32_Phdr;
    using Sym = Elf32_Sym;
    using Relocation = Elf32_Rel;  // the kind 32-bit x86 libraries use
    using Other = Elf64Types;
    static constexpr unsigned char kClass = ELFCLASS32;
    static constexpr uint16_t kMachine = EM_386;
    static constexpr uint32_t kRelocationSection = SHT_REL;
};
struct Elf64Types {
    using Ehdr = Elf64_Ehdr;
    using Shdr = Elf64_Shdr;
    using Phdr = Elf64_Phdr;
    using Sym = Elf64_Sym;
    using Relocation = Elf64_Rela;  // the kind x86-64 libraries use
    using Other = Elf32Types;
    static constexpr unsigned char kClass = ELFCLASS64;
    static constexpr uint16_t kMachine = EM_X86_64;
    static constexpr uint32_t kRelocationSection = SHT_RELA;
};
// The class of this build's own modules, such as the game library the tree builds.
using NativeElfTypes = std::conditional_t<sizeof(void*) == 8, Elf64Types, Elf32Types>;

// The file offset of the header of the first section of `type`; 0 when there is none.
template <typename E>
size_t SectionHeaderOffset(const std::vector<unsigned char>& file, uint32_t type) {
    const typename E::Ehdr header = Get<typename E::Ehdr>(file, 0);
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const size_t at = header.e_shoff + i * sizeof(typename E::Shdr);
        if (Get<typename E::Shdr>(file, at).sh_type == type) return at;
    }
    return 0;
}
