// Measures the signature tool on a large library: makesig for every exported function of
// a 16 MB library, and check of a 1,000-entry data file against it, each as a ratio to
// one memchr pass over the library's code (the floor of reading it once), measured in the
// same round with the contenders' order rotating from round to round. The library is an
// ELF file made in memory: one executable segment of generated functions (prologue, a
// mix of instructions with displacements, immediates, calls and short jumps, epilogue),
// a dynamic symbol table exporting every `stride`-th one. Exits non-zero only when a
// signature cannot be made or a checked entry does not resolve, never because of time.
//
// Usage: vlsig_bench [megabytes (default 16)] [exports (default 500)] [entries (default 1000)] [rounds (default 3)]
#include <elf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tools/vlsig/DataFile.h"
#include "tools/vlsig/SignatureMaker.h"

namespace {

bench::XorShift s_random(0x5EED1234u);
const unsigned char kAbsent = 0xF4;  // never generated: the floor pass reads everything

void Put32(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// One function's code: push ebp; mov ebp, esp; a body; pop ebp; ret; padded to 16.
void AppendFunction(std::vector<unsigned char>& code) {
    const unsigned char prologue[] = {0x55, 0x89, 0xE5};
    code.insert(code.end(), prologue, prologue + 3);
    const int count = 4 + static_cast<int>(s_random.Next() % 9);
    for (int i = 0; i < count; ++i) {
        const uint32_t r = s_random.Next();
        const unsigned char small = static_cast<unsigned char>(8 + 4 * ((r >> 8) % 14));
        switch (r % 8) {
            case 0: code.insert(code.end(), {0x8B, 0x45, small}); break;           // mov eax, [ebp+d8]
            case 1: code.push_back(0xB8); Put32(code, s_random.Next() | 0x01010101u); break;  // mov eax, imm32
            case 2: code.push_back(0xE8); Put32(code, s_random.Next()); break;     // call rel32
            case 3: code.insert(code.end(), {0x83, 0xC4, small}); break;           // add esp, imm8
            case 4: code.insert(code.end(), {0x74, small}); break;                 // je short
            case 5: code.insert(code.end(), {0x8D, 0x83}); Put32(code, s_random.Next()); break;  // lea eax, [ebx+d32]
            case 6: code.insert(code.end(), {0x89, 0x45, small}); break;           // mov [ebp+d8], eax
            default: code.insert(code.end(), {0x31, 0xC0}); break;                 // xor eax, eax
        }
    }
    code.insert(code.end(), {0x5D, 0xC3});
    while (code.size() % 16) code.push_back(0x90);
}

struct Library {
    std::vector<unsigned char> file;
    std::vector<std::string> exports;
};

Library MakeLibrary(size_t codeSize, int exportCount) {
    Library library;
    const uint32_t codeOffset = 0x1000;
    std::vector<unsigned char> code;
    std::vector<uint32_t> starts, sizes;
    while (code.size() < codeSize) {
        const size_t start = code.size();
        AppendFunction(code);
        starts.push_back(static_cast<uint32_t>(codeOffset + start));
        sizes.push_back(static_cast<uint32_t>(code.size() - start));
    }
    for (unsigned char& c : code) {
        if (c == kAbsent) c = 0x90;
    }
    const size_t stride = starts.size() / static_cast<size_t>(exportCount) + 1;
    std::string dynstr(1, '\0');
    std::vector<Elf32_Sym> dynsym(1);
    for (size_t i = 0; i < starts.size(); i += stride) {
        const std::string name = "Func" + std::to_string(i);
        Elf32_Sym symbol = {};
        symbol.st_name = static_cast<uint32_t>(dynstr.size());
        symbol.st_value = starts[i];
        symbol.st_size = sizes[i];
        symbol.st_info = ELF32_ST_INFO(STB_GLOBAL, STT_FUNC);
        symbol.st_shndx = 1;
        dynsym.push_back(symbol);
        dynstr += name + '\0';
        library.exports.push_back(name);
    }
    const std::string shstrtab = std::string("\0.text\0.dynsym\0.dynstr\0.shstrtab\0", 34);

    std::vector<unsigned char>& f = library.file;
    f.assign(codeOffset, 0);
    f.insert(f.end(), code.begin(), code.end());
    const uint32_t dynsymOffset = static_cast<uint32_t>(f.size());
    const auto* symbolBytes = reinterpret_cast<const unsigned char*>(dynsym.data());
    f.insert(f.end(), symbolBytes, symbolBytes + dynsym.size() * sizeof(Elf32_Sym));
    const uint32_t dynstrOffset = static_cast<uint32_t>(f.size());
    f.insert(f.end(), dynstr.begin(), dynstr.end());
    const uint32_t shstrOffset = static_cast<uint32_t>(f.size());
    f.insert(f.end(), shstrtab.begin(), shstrtab.end());
    while (f.size() % 4) f.push_back(0);
    const uint32_t shoff = static_cast<uint32_t>(f.size());
    Elf32_Shdr sections[5] = {};
    sections[1] = {1, SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, codeOffset, codeOffset, static_cast<uint32_t>(code.size()), 0, 0, 16, 0};
    sections[2] = {7, SHT_DYNSYM, SHF_ALLOC, 0, dynsymOffset, static_cast<uint32_t>(dynsym.size() * sizeof(Elf32_Sym)), 3, 1, 4, sizeof(Elf32_Sym)};
    sections[3] = {15, SHT_STRTAB, SHF_ALLOC, 0, dynstrOffset, static_cast<uint32_t>(dynstr.size()), 0, 0, 1, 0};
    sections[4] = {23, SHT_STRTAB, 0, 0, shstrOffset, static_cast<uint32_t>(shstrtab.size()), 0, 0, 1, 0};
    const auto* sectionBytes = reinterpret_cast<const unsigned char*>(sections);
    f.insert(f.end(), sectionBytes, sectionBytes + sizeof(sections));

    Elf32_Ehdr header = {};
    memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS32;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_machine = EM_386;
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof(Elf32_Ehdr);
    header.e_shoff = shoff;
    header.e_ehsize = sizeof(Elf32_Ehdr);
    header.e_phentsize = sizeof(Elf32_Phdr);
    header.e_phnum = 1;
    header.e_shentsize = sizeof(Elf32_Shdr);
    header.e_shnum = 5;
    header.e_shstrndx = 4;
    const Elf32_Phdr load = {PT_LOAD, 0, 0, 0, codeOffset + static_cast<uint32_t>(code.size()),
                             codeOffset + static_cast<uint32_t>(code.size()), PF_R | PF_X, 0x1000};
    memcpy(f.data(), &header, sizeof(header));
    memcpy(f.data() + sizeof(header), &load, sizeof(load));
    return library;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 16;
    const int exportCount = argc > 2 ? atoi(argv[2]) : 500;
    const int entryCount = argc > 3 ? atoi(argv[3]) : 1000;
    const int rounds = argc > 4 ? atoi(argv[4]) : 3;
    if (megabytes == 0 || exportCount < 1 || entryCount < 1 || rounds < 1) {
        fprintf(stderr, "usage: vlsig_bench [megabytes] [exports] [entries] [rounds]\n");
        return 2;
    }
    Library library = MakeLibrary(megabytes << 20, exportCount);
    LibraryImage image;
    if (!image.OpenBytes(library.file.data(), library.file.size())) {
        fprintf(stderr, "vlsig_bench: the generated library is refused: %s\n", image.Error().c_str());
        return 1;
    }
    InstructionMasker masker(image);
    const ElfSymbolTable& elf = image.Elf();

    // The data file: `entryCount` entries over the exports, each with a signature made
    // once here (the check then scans every one of them).
    std::string text = "\"VorlaneSigs\"\n{\n\t\"default\"\n\t{\n\t\t\"sigscan\"\n\t\t{\n";
    int made = 0;
    for (int i = 0; i < entryCount; ++i) {
        ElfSymbolInfo info;
        const uint32_t index = 1 + static_cast<uint32_t>(i) % (elf.SymbolCount(true) - 1);
        if (!elf.SymbolAt(true, index, &info)) continue;
        MadeSignature signature;
        if (!MakeSignature(image, masker, info.value, info.size, &signature)) continue;
        ++made;
        text += "\t\t\t\"Entry" + std::to_string(i) + "\"\n\t\t\t{\n\t\t\t\t\"enabled\"\t\"1\"\n\t\t\t\t\"sig\"\t\t\"" +
                signature.Hex() + "\"\n\t\t\t\t\"mask\"\t\t\"" + signature.mask + "\"\n\t\t\t\t\"symbol\"\t\"" +
                info.name + "\"\n\t\t\t}\n";
    }
    text += "\t\t}\n\t}\n}\n";
    char path[] = "/tmp/vlsig_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
    close(fd);

    const CodeRange code = image.CodeRanges()[0];
    printf("vlsig: %zu MB of code, %u exports, a data file of %d entries (%zu bytes)\n", megabytes,
           elf.SymbolCount(true) - 1, made, text.size());
    bench::CheckPinned();
    std::vector<double> floorPass, makesig, check;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < 3; ++step) {
            const int which = (step + round) % 3;
            const double start = bench::ThreadCpuNs();
            if (which == 0) {
                bench::DoNotOptimize(memchr(code.begin, kAbsent, code.size));
                floorPass.push_back(bench::ThreadCpuNs() - start);
            } else if (which == 1) {
                for (uint32_t i = 1; i < elf.SymbolCount(true); ++i) {
                    ElfSymbolInfo info;
                    MadeSignature signature;
                    if (!elf.SymbolAt(true, i, &info) || !MakeSignature(image, masker, info.value, info.size, &signature))
                        ++failures;
                }
                makesig.push_back(bench::ThreadCpuNs() - start);
            } else {
                DataFile file;
                if (!ReadDataFile(path, "", &file)) ++failures;
                CheckEntries(image, &file);
                for (const DataEntry& entry : file.entries) failures += entry.Broken() || entry.Stale();
                check.push_back(bench::ThreadCpuNs() - start);
            }
        }
    }
    unlink(path);
    bench::PrintTime("one memchr pass over the code", floorPass, static_cast<double>(code.size), "byte");
    bench::PrintTime("makesig, every exported function", makesig, elf.SymbolCount(true) - 1.0, "function");
    bench::PrintTime("check, the whole data file", check, made, "entry");
    bench::PrintRatio("makesig all exports / memchr pass", bench::Ratios(makesig, floorPass), "(none set)");
    bench::PrintRatio("check of the data file / memchr pass", bench::Ratios(check, floorPass), "(none set)");
    if (failures) printf("  FAILED: %d signatures not made or entries not resolved\n", failures);
    return failures ? 1 : 0;
}
