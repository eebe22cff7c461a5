// Measures the signature tool on a large library: makesig for every exported function of
// a 16 MB library, and check of a 1,000-entry data file against it, each as a ratio to
// one memchr pass over the library's code (the floor of reading it once), measured in the
// same round with the contenders' order rotating from round to round. The library is an
// ELF file made in memory: one executable segment of generated functions (prologue, a
// mix of instructions with displacements, immediates, calls and short jumps, epilogue),
// a dynamic symbol table exporting every `stride`-th one. It is made twice around the
// same code, as a 32-bit and as a 64-bit file (the instructions decode to the same
// lengths in both modes), and each is measured in the same rounds. Exits non-zero only
// when a signature cannot be made or a checked entry does not resolve, never because of
// time.
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
#include "tests/support/ElfFile.h"
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

// The generated code: functions back to back, each with its load address and size.
struct Code {
    std::vector<unsigned char> bytes;
    std::vector<uint32_t> starts, sizes;
};

const uint32_t kCodeOffset = 0x1000;

Code MakeCode(size_t codeSize) {
    Code code;
    while (code.bytes.size() < codeSize) {
        const size_t start = code.bytes.size();
        AppendFunction(code.bytes);
        code.starts.push_back(static_cast<uint32_t>(kCodeOffset + start));
        code.sizes.push_back(static_cast<uint32_t>(code.bytes.size() - start));
    }
    for (unsigned char& c : code.bytes) {
        if (c == kAbsent) c = 0x90;
    }
    return code;
}

struct Library {
    std::vector<unsigned char> file;
    std::vector<std::string> exports;
};

// The code as a library file of class E: one executable segment, and a dynamic symbol
// table exporting every `stride`-th function.
template <typename E>
Library MakeLibrary(const Code& code, int exportCount) {
    using Sym = typename E::Sym;
    Library library;
    const size_t stride = code.starts.size() / static_cast<size_t>(exportCount) + 1;
    std::string dynstr(1, '\0');
    std::vector<Sym> dynsym(1);
    for (size_t i = 0; i < code.starts.size(); i += stride) {
        const std::string name = "Func" + std::to_string(i);
        Sym symbol = {};
        symbol.st_name = static_cast<uint32_t>(dynstr.size());
        symbol.st_value = code.starts[i];
        symbol.st_size = code.sizes[i];
        symbol.st_info = ELF32_ST_INFO(STB_GLOBAL, STT_FUNC);
        symbol.st_shndx = 1;
        dynsym.push_back(symbol);
        dynstr += name + '\0';
        library.exports.push_back(name);
    }
    const std::string shstrtab = std::string("\0.text\0.dynsym\0.dynstr\0.shstrtab\0", 34);

    std::vector<unsigned char>& f = library.file;
    f.assign(kCodeOffset, 0);
    f.insert(f.end(), code.bytes.begin(), code.bytes.end());
    const uint32_t codeEnd = static_cast<uint32_t>(f.size());
    const uint32_t dynsymOffset = static_cast<uint32_t>(f.size());
    const auto* symbolBytes = reinterpret_cast<const unsigned char*>(dynsym.data());
    f.insert(f.end(), symbolBytes, symbolBytes + dynsym.size() * sizeof(Sym));
    const uint32_t dynstrOffset = static_cast<uint32_t>(f.size());
    f.insert(f.end(), dynstr.begin(), dynstr.end());
    const uint32_t shstrOffset = static_cast<uint32_t>(f.size());
    f.insert(f.end(), shstrtab.begin(), shstrtab.end());
    while (f.size() % 8) f.push_back(0);
    const uint32_t shoff = static_cast<uint32_t>(f.size());
    const uint32_t codeSize = codeEnd - kCodeOffset;
    const uint32_t dynsymSize = static_cast<uint32_t>(dynsym.size() * sizeof(Sym));
    typename E::Shdr sections[5] = {};
    sections[1] = {1, SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, kCodeOffset, kCodeOffset, codeSize, 0, 0, 16, 0};
    sections[2] = {7, SHT_DYNSYM, SHF_ALLOC, 0, dynsymOffset, dynsymSize, 3, 1, 8, sizeof(Sym)};
    sections[3] = {15, SHT_STRTAB, SHF_ALLOC, 0, dynstrOffset, static_cast<uint32_t>(dynstr.size()), 0, 0, 1, 0};
    sections[4] = {23, SHT_STRTAB, 0, 0, shstrOffset, static_cast<uint32_t>(shstrtab.size()), 0, 0, 1, 0};
    const auto* sectionBytes = reinterpret_cast<const unsigned char*>(sections);
    f.insert(f.end(), sectionBytes, sectionBytes + sizeof(sections));

    typename E::Ehdr header = {};
    memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = E::kClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_machine = E::kMachine;
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof(header);
    header.e_shoff = shoff;
    header.e_ehsize = sizeof(header);
    header.e_phentsize = sizeof(typename E::Phdr);
    header.e_phnum = 1;
    header.e_shentsize = sizeof(typename E::Shdr);
    header.e_shnum = 5;
    header.e_shstrndx = 4;
    typename E::Phdr load = {};
    load.p_type = PT_LOAD;
    load.p_filesz = load.p_memsz = codeEnd;
    load.p_flags = PF_R | PF_X;
    load.p_align = 0x1000;
    memcpy(f.data(), &header, sizeof(header));
    memcpy(f.data() + sizeof(header), &load, sizeof(load));
    return library;
}

// One library under test: its image, a data file of `entryCount` entries over its
// exports (each with a signature made once here, so that the check scans every one of
// them), and its figures.
struct Subject {
    const char* name;
    Library library;
    LibraryImage image;
    std::string path;
    int made = 0;
    int repeated = 0;  // functions with no unique signature (counted in the first round)
    std::vector<double> makesig, check;
};

// Opens the subject's library and writes its data file; false (with a message) when the
// library is refused or the file cannot be written.
bool Prepare(Subject& subject, InstructionMasker& masker, int entryCount) {
    const ElfSymbolTable& elf = subject.image.Elf();
    std::string text = "\"VorlaneSigs\"\n{\n\t\"default\"\n\t{\n\t\t\"sigscan\"\n\t\t{\n";
    for (int i = 0; i < entryCount; ++i) {
        ElfSymbolInfo info;
        const uint32_t index = 1 + static_cast<uint32_t>(i) % (elf.SymbolCount(true) - 1);
        if (!elf.SymbolAt(true, index, &info)) continue;
        MadeSignature signature;
        if (!MakeSignature(subject.image, masker, info.value, info.size, &signature)) continue;
        ++subject.made;
        text += "\t\t\t\"Entry" + std::to_string(i) + "\"\n\t\t\t{\n\t\t\t\t\"enabled\"\t\"1\"\n\t\t\t\t\"sig\"\t\t\"" +
                signature.Hex() + "\"\n\t\t\t\t\"mask\"\t\t\"" + signature.mask + "\"\n\t\t\t\t\"symbol\"\t\"" +
                info.name + "\"\n\t\t\t}\n";
    }
    text += "\t\t}\n\t}\n}\n";
    char path[] = "/tmp/vlsig_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    subject.path = path;
    return written;
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
    // The same code in a 32-bit and in a 64-bit library file: the tool decodes each in
    // its own mode.
    const Code code = MakeCode(megabytes << 20);
    Subject subjects[2];
    subjects[0].name = "32-bit";
    subjects[0].library = MakeLibrary<Elf32Types>(code, exportCount);
    subjects[1].name = "64-bit";
    subjects[1].library = MakeLibrary<Elf64Types>(code, exportCount);
    for (Subject& subject : subjects) {
        const Library& library = subject.library;
        if (!subject.image.OpenBytes(library.file.data(), library.file.size())) {
            fprintf(stderr, "vlsig_bench: the generated %s library is refused: %s\n", subject.name,
                    subject.image.Error().c_str());
            return 1;
        }
    }
    InstructionMasker maskers[2] = {InstructionMasker(subjects[0].image), InstructionMasker(subjects[1].image)};
    for (int s = 0; s < 2; ++s) {
        if (!Prepare(subjects[s], maskers[s], entryCount)) return 1;
    }

    const CodeRange floorRange = subjects[0].image.CodeRanges()[0];
    const uint32_t exported = subjects[0].image.Elf().SymbolCount(true) - 1;
    printf("vlsig: %zu MB of code, %u exports, a data file of %d entries (%d in the 64-bit library)\n", megabytes,
           exported, subjects[0].made, subjects[1].made);
    bench::CheckPinned();
    std::vector<double> floorPass;
    int failures = 0;
    const int contenders = 5;  // the floor pass, then makesig and check for each library
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < contenders; ++step) {
            const int which = (step + round) % contenders;
            const double start = bench::ThreadCpuNs();
            if (which == 0) {
                bench::DoNotOptimize(memchr(floorRange.begin, kAbsent, floorRange.size));
                floorPass.push_back(bench::ThreadCpuNs() - start);
                continue;
            }
            Subject& subject = subjects[(which - 1) / 2];
            if ((which - 1) % 2 == 0) {
                const ElfSymbolTable& elf = subject.image.Elf();
                InstructionMasker& masker = maskers[(which - 1) / 2];
                for (uint32_t i = 1; i < elf.SymbolCount(true); ++i) {
                    ElfSymbolInfo info;
                    MadeSignature signature;
                    if (!elf.SymbolAt(true, i, &info) ||
                        !MakeSignature(subject.image, masker, info.value, info.size, &signature)) {
                        // A generated function whose masked code stands elsewhere too has
                        // no unique signature: an answer, not a failure of the tool.
                        if (signature.error.rfind("no unique signature", 0) != 0) {
                            ++failures;
                        } else if (round == 0) {
                            ++subject.repeated;
                        }
                    }
                }
                subject.makesig.push_back(bench::ThreadCpuNs() - start);
            } else {
                DataFile file;
                if (!ReadDataFile(subject.path.c_str(), "", &file)) ++failures;
                CheckEntries(subject.image, &file);
                for (const DataEntry& entry : file.entries) failures += entry.Broken() || entry.Stale();
                subject.check.push_back(bench::ThreadCpuNs() - start);
            }
        }
    }
    for (Subject& subject : subjects) unlink(subject.path.c_str());
    bench::PrintTime("one memchr pass over the code", floorPass, static_cast<double>(floorRange.size), "byte");
    char what[96];
    for (const Subject& subject : subjects) {
        snprintf(what, sizeof(what), "makesig, every exported function (%s)", subject.name);
        bench::PrintTime(what, subject.makesig, exported, "function");
        snprintf(what, sizeof(what), "check, the whole data file (%s)", subject.name);
        bench::PrintTime(what, subject.check, subject.made, "entry");
    }
    for (const Subject& subject : subjects) {
        snprintf(what, sizeof(what), "makesig all exports / memchr pass, %s", subject.name);
        bench::PrintRatio(what, bench::Ratios(subject.makesig, floorPass), "(none set)");
        snprintf(what, sizeof(what), "check of data file / memchr pass, %s", subject.name);
        bench::PrintRatio(what, bench::Ratios(subject.check, floorPass), "(none set)");
    }
    for (const Subject& subject : subjects) {
        if (subject.repeated) {
            printf("  note: %d generated functions of the %s library repeat elsewhere: no unique signature\n",
                   subject.repeated, subject.name);
        }
    }
    if (failures) printf("  FAILED: %d signatures not made or entries not resolved\n", failures);
    return failures ? 1 : 0;
}
