// Measures the plugin's load in the simulated engine with a generated data file of many
// function-table entries, against the floor any load of that file must pay: parsing the
// same file into a key-value tree and one dlsym per entry in the game server library.
//
// The plugin is loaded once, as the engine loads it (its first Load is timed, once, as
// the cold figure). The rounds then repeat the part of Load that depends on the file,
// calling the plugin's own functions found through its symbol table:
//   - "Load": UTIL_PrecacheOffsets() then CheckPlugin(), the report going into a console
//     hook that collects the text as a console would;
//   - "Load without the report": UTIL_PrecacheOffsets() alone;
//   - the floor, made by this program: read the file, parse it, dlopen the game library,
//     dlsym every enabled entry's symbol, dlclose, release the tree.
// Each timed load starts from an empty table, as the first Load of a process does (the
// previous round's table is released untimed). Each round runs the three back to back in a rotating order, timed on the
// thread's CPU clock; the figures are medians of the per-round ratios with their quartiles. Two file sizes (a quarter
// and all of the entries) show whether the cost grows linearly. The name lookup GetFuncAddr is timed at both sizes too.
// Exits non-zero only when the set-up fails, never on time.
//
// Usage: plugin_load_bench [entries (default 20000)] [rounds (default 15)]
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "host/engine/HostEngine.h"
#include "host/tier0/HostTier0.h"
#include "sigscan/SigScanTable.h"
#include "tier1/KeyValues.h"

namespace {

// The symbols the simulated game library exports for the game functions; entries cycle
// through them so that every entry resolves.
const char* const kSymbols[] = {"GameRoundRespawn", "GameSwitchTeam", "GameCommitSuicide", "GameRemoveEntity",
                                "GameDissolve"};
const int kSymbolCount = 5;

// The name of entry `i`: a game function's name with a distinct suffix.
std::string EntryName(int i) {
    char name[64];
    snprintf(name, sizeof(name), "CCSPlayer::GameFunction_%06d", i);
    return name;
}

// A data file shaped like the shipped one, with `entries` enabled entries in "default".
std::string MakeDataFile(int entries) {
    std::string text = "\"VorlaneSigs\"\n{\n\t\"default\"\n\t{\n\t\t\"sigscan\"\n\t\t{\n";
    char entry[512];
    for (int i = 0; i < entries; ++i) {
        snprintf(entry, sizeof(entry),
                 "\t\t\t\"%s\"\n\t\t\t{\n\t\t\t\t\"enabled\"\t\"1\"\n\t\t\t\t\"sig\"\t\t\"5589E5%02X83EC14%02X\"\n"
                 "\t\t\t\t\"mask\"\t\t\"xxxxxxxx\"\n\t\t\t\t\"symbol\"\t\"%s\"\n\t\t\t}\n",
                 EntryName(i).c_str(), i & 0xFF, (i >> 8) & 0xFF, kSymbols[i % kSymbolCount]);
        text += entry;
    }
    text += "\t\t}\n\t}\n}\n";
    return text;
}

bool WriteFile(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;) text.append(chunk, n);
    fclose(file);
    return text;
}

// The console: every piece of text the runtime prints is kept, as a console keeps it.
std::string g_console;
void CollectConsole(const char* text, void*) { g_console += text; }

// The floor: the file read and parsed, one dlsym per enabled entry. Returns the number
// of symbols resolved.
int Floor(const std::string& dataPath, const std::string& libraryPath) {
    const std::string text = ReadFile(dataPath);
    KeyValues* tree = new KeyValues("kdadmin_sigs");
    tree->LoadFromBuffer(dataPath.c_str(), text.c_str());
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW);
    int resolved = 0;
    KeyValues* entries = tree->FindKey("default/sigscan");
    for (KeyValues* entry = entries ? entries->GetFirstSubKey() : nullptr; entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        if (library && dlsym(library, entry->GetString("symbol", ""))) ++resolved;
    }
    if (library) dlclose(library);
    tree->deleteThis();
    return resolved;
}

// The table floor: the floor above plus what any load must add, each resolved entry's
// record written once into the table (zero-filled fields, the name, mask and symbol
// copied, the index and address set), the table grown as records come. The table is
// released untimed through *table. Returns the number of records written.
int TableFloor(const std::string& dataPath, const std::string& libraryPath, CUtlVector<vrn_sigscan_struct>* table) {
    const std::string text = ReadFile(dataPath);
    KeyValues* tree = new KeyValues("kdadmin_sigs");
    tree->LoadFromBuffer(dataPath.c_str(), text.c_str());
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW);
    KeyValues* entries = tree->FindKey("default/sigscan");
    for (KeyValues* entry = entries ? entries->GetFirstSubKey() : nullptr; entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        void* address = library ? dlsym(library, entry->GetString("symbol", "")) : nullptr;
        if (!address) continue;
        vrn_sigscan_struct& record = table->Element(table->AddToTail());
        memset(&record, 0, sizeof(record));
        strncpy(record.funcName, entry->GetName(), sizeof(record.funcName) - 1);
        strncpy(record.sigMask, entry->GetString("mask", ""), sizeof(record.sigMask) - 1);
        strncpy(record.symbolName, entry->GetString("symbol", ""), sizeof(record.symbolName) - 1);
        record.funcIndex = table->Count();
        record.funcAddress = address;
    }
    if (library) dlclose(library);
    tree->deleteThis();
    bench::Escape(table->Base());
    return table->Count();
}

// The table floor in a fresh process (this program with --cold-floor): empty symbol
// table, untouched heap, as the first Load of a process finds them. Returns the time,
// or a negative value when the child failed.
double ColdTableFloorInFreshProcess(const std::string& dataPath, const std::string& libraryPath) {
    return bench::TimeInFreshProcess("--cold-floor '" + dataPath + "' '" + libraryPath + "'");
}

// For orientation: what the table's memory alone costs a load, the records appended one
// by one (each built on the stack as the loading step builds it) and the storage
// released; with `reserve`, the storage is sized for all records first, so it is never
// moved while it grows.
void TableFill(int count, bool reserve) {
    CUtlVector<vrn_sigscan_struct> table;
    if (reserve) table.EnsureCapacity(count);
    for (int i = 0; i < count; ++i) {
        vrn_sigscan_struct record;
        memset(record.funcName, 0, sizeof(record.funcName));
        memset(record.sigMask, 0, sizeof(record.sigMask));
        memset(record.symbolName, 0, sizeof(record.symbolName));
        snprintf(record.funcName, sizeof(record.funcName), "%d", i);
        record.funcIndex = i + 1;
        record.sigBytes = nullptr;
        record.funcAddress = &table;
        table.AddToTail(record);
    }
    bench::Escape(table.Base());
    table.Purge();
}

typedef bool (*PrecacheFn)();
typedef void (*ReportFn)();
typedef void* (*LookupFn)(const char*);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--cold-floor") == 0) {
        CUtlVector<vrn_sigscan_struct> table;
        const double start = bench::ThreadCpuNs();
        const int written = TableFloor(argv[2], argv[3], &table);
        const double ns = bench::ThreadCpuNs() - start;
        printf("%.0f\n", ns);
        return written > 0 ? 0 : 1;
    }
    const int entries = argc > 1 ? std::max(4, atoi(argv[1])) : 20000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 15;
    bench::CheckPinned();

    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string binDir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argv[0]);
    binDir = binDir.substr(0, binDir.rfind('/'));

    // A game directory of its own: the built game library and the generated data file.
    char dirTemplate[] = "/tmp/vl_plugin_load_bench.XXXXXX";
    const char* made = mkdtemp(dirTemplate);
    if (!made) {
        printf("plugin_load_bench: cannot make a game directory\n");
        return 1;
    }
    const std::string gameDir = made;
    const std::string library = gameDir + "/bin/server" VL_MODULE_SUFFIX;
    const std::string dataPath = gameDir + "/addons/vorlane/sigscan_info.dat";
    if (mkdir((gameDir + "/bin").c_str(), 0700) != 0 || mkdir((gameDir + "/addons").c_str(), 0700) != 0 ||
        mkdir((gameDir + "/addons/vorlane").c_str(), 0700) != 0 ||
        symlink((binDir + "/../demo/bin/server" VL_MODULE_SUFFIX).c_str(), library.c_str()) != 0 ||
        !WriteFile(dataPath, MakeDataFile(entries))) {
        printf("plugin_load_bench: cannot set up %s\n", gameDir.c_str());
        return 1;
    }

    HostTier0_SetOutputHook(CollectConsole, nullptr);
    CHostEngine& host = CHostEngine::Instance();
    HostOptions options;
    options.gameDir = gameDir;
    // The cold table floor first, each in a fresh process, before this process loads
    // anything.
    std::vector<double> coldFloor;
    for (int round = 0; round < 5; ++round) coldFloor.push_back(ColdTableFloorInFreshProcess(dataPath, library));
    double before = bench::ThreadCpuNs();
    bool ready = host.Start(options);
    const double loadStart = bench::ThreadCpuNs();
    ready = ready && host.LoadPlugin(binDir + "/vorlane_utils.so");
    const double coldLoadNs = bench::ThreadCpuNs() - before;
    const double coldLoadOnlyNs = bench::ThreadCpuNs() - loadStart;
    const CModuleSymbols& symbols = host.PluginSymbols();
    auto precache = reinterpret_cast<PrecacheFn>(symbols.Address("_Z20UTIL_PrecacheOffsetsv"));
    auto report = reinterpret_cast<ReportFn>(symbols.Address("_Z11CheckPluginv"));
    auto lookup = reinterpret_cast<LookupFn>(symbols.Address("_Z11GetFuncAddrPKc"));
    auto clear = reinterpret_cast<ReportFn>(symbols.Address("_Z16ClearSigScanDatav"));
    auto* table = static_cast<CUtlVector<vrn_sigscan_struct>*>(symbols.Address("VRN_SigScan_Data"));
    ready = ready && precache && report && lookup && clear && table && table->Count() == entries;
    if (!ready) {
        HostTier0_SetOutputHook(nullptr, nullptr);
        printf("plugin_load_bench: the plugin did not load the %d entries (%d stored)\n", entries,
               table ? table->Count() : -1);
        return 1;
    }
    const size_t reportBytes = g_console.size();

    printf("== plugin Load with a data file of N entries vs parse + one dlsym per entry (%d rounds)\n", rounds);
    printf(
        "  first Load in a fresh process (plugin dlopen included): %.1f ms at %d entries, %zu bytes of console text\n",
        coldLoadNs / 1e6, entries, reportBytes);
    const bench::Quartiles cf = bench::ComputeQuartiles(coldFloor);
    const bool coldFloorOk = cf.q1 > 0;
    printf("  %-44s %9.3f ms  (IQR %.3f .. %.3f, n=%zu)\n", "cold table floor, fresh process", cf.median / 1e6,
           cf.q1 / 1e6, cf.q3 / 1e6, coldFloor.size());
    printf("  %-44s %9.3f ms\n", "first Load alone (report into the hook)", coldLoadOnlyNs / 1e6);
    if (coldFloorOk) {
        printf("  %-44s %6.2fx  (one first Load / median cold floor)   goal <= 1.25x\n",
               "P2 cold: first Load / cold table floor", coldLoadOnlyNs / cf.median);
        bench::PrintVerdict("P2", "cold_load_with_report/table_floor", coldLoadOnlyNs / cf.median, 1.25);
    } else {
        printf("plugin_load_bench: the cold table floor failed\n");
    }
    bool consistent = true;
    for (int size : {entries / 4, entries}) {
        if (!WriteFile(dataPath, MakeDataFile(size))) return 1;
        std::vector<double> full, bare, floor, tableFloor, fill, reserved, lookupNs;
        for (int round = 0; round < rounds; ++round) {
            for (int k = 0; k < 4; ++k) {
                switch ((round + k) % 4) {
                    case 0: {
                        g_console.clear();
                        clear();
                        before = bench::ThreadCpuNs();
                        precache();
                        report();
                        full.push_back(bench::ThreadCpuNs() - before);
                        break;
                    }
                    case 1: {
                        clear();
                        before = bench::ThreadCpuNs();
                        precache();
                        bare.push_back(bench::ThreadCpuNs() - before);
                        break;
                    }
                    case 2: {
                        CUtlVector<vrn_sigscan_struct> records;
                        before = bench::ThreadCpuNs();
                        const int written = TableFloor(dataPath, library, &records);
                        tableFloor.push_back(bench::ThreadCpuNs() - before);
                        consistent = consistent && written == size;
                        break;
                    }
                    default: {
                        before = bench::ThreadCpuNs();
                        const int resolved = Floor(dataPath, library);
                        floor.push_back(bench::ThreadCpuNs() - before);
                        consistent = consistent && resolved == size;
                        break;
                    }
                }
            }
            consistent = consistent && table->Count() == size;
            before = bench::ThreadCpuNs();
            TableFill(size, false);
            fill.push_back(bench::ThreadCpuNs() - before);
            before = bench::ThreadCpuNs();
            TableFill(size, true);
            reserved.push_back(bench::ThreadCpuNs() - before);
            // Lookups of the last entry's name in other letter case (the linear scan's worst case).
            std::string last = EntryName(size - 1);
            for (char& c : last) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            const int lookups = 1000;
            before = bench::ThreadCpuNs();
            for (int i = 0; i < lookups; ++i) {
                void* address = lookup(last.c_str());
                bench::DoNotOptimize(address);
            }
            lookupNs.push_back((bench::ThreadCpuNs() - before) / lookups);
        }
        printf(" N = %d\n", size);
        bench::PrintRatio("Load (report into a console hook) / floor", bench::Ratios(full, floor), "<= 2.5x");
        bench::PrintRatio("Load without the report / floor", bench::Ratios(bare, floor), "<= 1.5x");
        bench::PrintRatio("P2: Load (report into a hook) / table floor", bench::Ratios(full, tableFloor), "<= 1.25x");
        bench::PrintRatio("P2: Load without the report / table floor", bench::Ratios(bare, tableFloor), "<= 1.10x");
        if (size == entries) {
            bench::PrintRatioVerdict("P2", "load_with_report/table_floor", bench::Ratios(full, tableFloor), 1.25);
            bench::PrintRatioVerdict("P2", "load_without_report/table_floor", bench::Ratios(bare, tableFloor), 1.1);
            bench::PrintRatioVerdict("P5", "load_with_report/parse_dlsym_floor", bench::Ratios(full, floor), 2.5);
            bench::PrintRatioVerdict("P5", "load_without_report/parse_dlsym_floor", bench::Ratios(bare, floor), 1.5);
        }
        bench::PrintTime("Load (report into a console hook)", full, size / 1000.0, "1000 entries");
        bench::PrintTime("Load without the report", bare, size / 1000.0, "1000 entries");
        bench::PrintTime("floor: parse + one dlsym per entry", floor, size / 1000.0, "1000 entries");
        bench::PrintTime("table floor: the floor + records written", tableFloor, size / 1000.0, "1000 entries");
        bench::PrintTime("table memory alone, grown (orientation)", fill, size / 1000.0, "1000 entries");
        bench::PrintTime("table memory alone, reserved (orientation)", reserved, size / 1000.0, "1000 entries");
        const bench::Quartiles q = bench::ComputeQuartiles(lookupNs);
        printf("  %-44s %9.1f ns  (IQR %.1f .. %.1f)\n", "GetFuncAddr, last entry, other case", q.median, q.q1, q.q3);
    }
    host.UnloadPlugin();
    host.Shutdown();
    HostTier0_SetOutputHook(nullptr, nullptr);
    unlink(dataPath.c_str());
    unlink(library.c_str());
    rmdir((gameDir + "/addons/vorlane").c_str());
    rmdir((gameDir + "/addons").c_str());
    rmdir((gameDir + "/bin").c_str());
    rmdir(gameDir.c_str());
    if (!consistent) {
        printf("plugin_load_bench: a load did not store every entry\n");
        return 1;
    }
    return 0;
}
