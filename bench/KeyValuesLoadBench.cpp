// Key-value load speed: the key-value text reader loading a signature data file, against
// two JSON DOM parsers (RapidJSON, the yardstick, and nlohmann::json) reading the same
// tree written as JSON. Only the parse is timed, on the thread's CPU clock.
//   warm: all three in one process, round by round in rotating order, after one round
//         that is not counted (the key-value symbol table then already holds the names);
//   cold: every single parse in a fresh process (this program run with --once), as the
//         plugin's one load at start-up sees it: empty symbol table, untouched heap.
// Prints per-round time ratios against RapidJSON (median and quartiles). Exits non-zero
// only when the three trees disagree, never because of time.
//
// Usage: keyvalues_load_bench [entries (20000)] [warm rounds (21)] [cold rounds (11)]
//        VL_BENCH_ONLY=kv|rapidjson|nlohmann keyvalues_load_bench ...  (warm rounds of one
//        contender, nothing printed: for a profiler)
//        keyvalues_load_bench --once kv|rapidjson|nlohmann entries   (prints one time)
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <rapidjson/document.h>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tier1/KeyValues.h"
#include "vstdlib/IKeyValuesSystem.h"

namespace {

struct Entry {
    std::string name;
    int enabled;
    std::string sig;
    std::string mask;
    std::string symbol;
};

// Every run and machine measures the same text.
bench::XorShift s_random(0x2545F491u);
uint32_t NextRandom() { return s_random.Next(); }

// Entries shaped like the plugin's data file: a mangled symbol, a signature of 8 to 40
// hexadecimal byte pairs, a mask of one character per byte, and about one entry in eight
// disabled.
std::vector<Entry> MakeEntries(int count) {
    static const char* const kClasses[] = {"CCSPlayer", "CBaseAnimating", "CPluginBot", "MRecipientFilter", "CWorld"};
    static const char* const kMethods[] = {"RoundRespawn", "SwitchTeam", "Dissolve", "Think", "TakeDamage", "Spawn"};
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* cls = kClasses[NextRandom() % 5];
        const char* method = kMethods[NextRandom() % 6];
        char name[128];
        snprintf(name, sizeof(name), "%s::%s_%05d", cls, method, i);
        char symbol[160];
        snprintf(symbol, sizeof(symbol), "_ZN%zu%s%zu%s_%05dEv", strlen(cls), cls, strlen(method) + 6, method, i);
        Entry entry;
        entry.name = name;
        entry.enabled = NextRandom() % 8 != 0;
        int bytes = 8 + static_cast<int>(NextRandom() % 33);
        for (int b = 0; b < bytes; ++b) {
            uint32_t r = NextRandom();
            entry.sig += kHex[r & 15];
            entry.sig += kHex[(r >> 4) & 15];
            entry.mask += (r >> 8) % 4 ? 'x' : '?';
        }
        entry.symbol = symbol;
        entries.push_back(entry);
    }
    return entries;
}

std::string MakeKeyValuesText(const std::vector<Entry>& entries) {
    std::string text = "\"kdadmin_sigs\"\n{\n\t\"default\"\n\t{\n\t\t\"sigscan\"\n\t\t{\n";
    for (const Entry& e : entries) {
        text += "\t\t\t\"" + e.name + "\"\n\t\t\t{\n";
        text += "\t\t\t\t\"enabled\"\t\"" + std::to_string(e.enabled) + "\"\n";
        text += "\t\t\t\t\"sig\"\t\"" + e.sig + "\"\n";
        text += "\t\t\t\t\"mask\"\t\"" + e.mask + "\"\n";
        text += "\t\t\t\t\"symbol\"\t\"" + e.symbol + "\"\n";
        text += "\t\t\t}\n";
    }
    text += "\t\t}\n\t}\n}\n";
    return text;
}

std::string MakeJsonText(const std::vector<Entry>& entries) {
    std::string text = "{\n\t\"kdadmin_sigs\": {\n\t\t\"default\": {\n\t\t\t\"sigscan\": {\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        text += "\t\t\t\t\"" + e.name + "\": {\n";
        text += "\t\t\t\t\t\"enabled\": " + std::to_string(e.enabled) + ",\n";
        text += "\t\t\t\t\t\"sig\": \"" + e.sig + "\",\n";
        text += "\t\t\t\t\t\"mask\": \"" + e.mask + "\",\n";
        text += "\t\t\t\t\t\"symbol\": \"" + e.symbol + "\"\n";
        text += i + 1 < entries.size() ? "\t\t\t\t},\n" : "\t\t\t\t}\n";
    }
    text += "\t\t\t}\n\t\t}\n\t}\n}\n";
    return text;
}

// Each check compares a loaded tree with the entries it was written from.
bool KeyValuesAgrees(KeyValues* root, const std::vector<Entry>& entries) {
    KeyValues* sigscan = root->FindKey("default/sigscan");
    if (!sigscan || strcmp(root->GetName(), "kdadmin_sigs") != 0) return false;
    size_t i = 0;
    for (KeyValues* e = sigscan->GetFirstSubKey(); e; e = e->GetNextKey(), ++i) {
        if (i >= entries.size()) return false;
        const Entry& want = entries[i];
        if (want.name != e->GetName() || e->GetInt("enabled", -1) != want.enabled ||
            want.sig != e->GetString("sig", "") || want.mask != e->GetString("mask", "") ||
            want.symbol != e->GetString("symbol", ""))
            return false;
    }
    return i == entries.size();
}

bool RapidJsonAgrees(const rapidjson::Document& doc, const std::vector<Entry>& entries) {
    if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("kdadmin_sigs")) return false;
    const rapidjson::Value& sigscan = doc["kdadmin_sigs"]["default"]["sigscan"];
    if (!sigscan.IsObject() || sigscan.MemberCount() != entries.size()) return false;
    size_t i = 0;
    for (auto it = sigscan.MemberBegin(); it != sigscan.MemberEnd(); ++it, ++i) {
        const Entry& want = entries[i];
        const rapidjson::Value& e = it->value;
        if (want.name != it->name.GetString() || e["enabled"].GetInt() != want.enabled ||
            want.sig != e["sig"].GetString() || want.mask != e["mask"].GetString() ||
            want.symbol != e["symbol"].GetString())
            return false;
    }
    return true;
}

// nlohmann::json keeps members sorted by name (std::map), so entries are looked up by name.
bool NlohmannAgrees(const nlohmann::json& doc, const std::vector<Entry>& entries) {
    const nlohmann::json& sigscan = doc.at("kdadmin_sigs").at("default").at("sigscan");
    if (sigscan.size() != entries.size()) return false;
    for (const Entry& want : entries) {
        auto it = sigscan.find(want.name);
        if (it == sigscan.end()) return false;
        const nlohmann::json& e = *it;
        if (e.at("enabled").get<int>() != want.enabled || want.sig != e.at("sig").get<std::string>() ||
            want.mask != e.at("mask").get<std::string>() || want.symbol != e.at("symbol").get<std::string>())
            return false;
    }
    return true;
}

enum Contender { KV = 0, RAPID = 1, NLOHMANN = 2, CONTENDERS = 3 };
const char* const kContenderNames[CONTENDERS] = {"kv", "rapidjson", "nlohmann"};

struct Inputs {
    std::vector<Entry> entries;
    std::string kvText;
    std::string jsonText;
};

Inputs MakeInputs(int entryCount) {
    Inputs in;
    in.entries = MakeEntries(entryCount);
    in.kvText = MakeKeyValuesText(in.entries);
    in.jsonText = MakeJsonText(in.entries);
    return in;
}

// The parses, each kept out of line so that a profiler can single it out.
__attribute__((noinline)) void ParseKeyValues(KeyValues* root, const char* text) {
    root->LoadFromBuffer("sigscan_info.dat", text);
}
__attribute__((noinline)) void ParseRapidJson(rapidjson::Document& doc, const char* text) { doc.Parse(text); }
__attribute__((noinline)) nlohmann::json ParseNlohmann(const std::string& text) { return nlohmann::json::parse(text); }

// Times one parse of `which`; destroying the tree is not timed. With `check`, the tree is
// compared with the entries and a mismatch clears *agree.
double TimeOne(Contender which, const Inputs& in, bool check, bool* agree) {
    double ns = 0;
    switch (which) {
        case KV: {
            KeyValues* root = new KeyValues("kdadmin_sigs");
            double start = bench::ThreadCpuNs();
            ParseKeyValues(root, in.kvText.c_str());
            ns = bench::ThreadCpuNs() - start;
            if (check && !KeyValuesAgrees(root, in.entries)) *agree = false;
            root->deleteThis();
            break;
        }
        case RAPID: {
            rapidjson::Document doc;
            double start = bench::ThreadCpuNs();
            ParseRapidJson(doc, in.jsonText.c_str());
            ns = bench::ThreadCpuNs() - start;
            if (check && !RapidJsonAgrees(doc, in.entries)) *agree = false;
            break;
        }
        default: {
            double start = bench::ThreadCpuNs();
            nlohmann::json doc = ParseNlohmann(in.jsonText);
            ns = bench::ThreadCpuNs() - start;
            if (check && !NlohmannAgrees(doc, in.entries)) *agree = false;
            break;
        }
    }
    return ns;
}

// The part of a load that the runtime's key-value interface costs and the reader cannot
// avoid: one symbol lookup per distinct key name (the entry names; the few value names
// repeat and are answered by the reader's own cache) and one node allocation per key, in
// the order a load makes them. Freeing the nodes is not timed.
double TimeRuntimeShare(const Inputs& in, std::vector<void*>& nodes) {
    IKeyValuesSystem* system = KeyValuesSystem();
    nodes.clear();
    const int nodeSize = static_cast<int>(sizeof(KeyValues));
    double start = bench::ThreadCpuNs();
    for (const Entry& e : in.entries) {
        bench::DoNotOptimize(system->GetSymbolForString(e.name.c_str()));
        for (int key = 0; key < 5; ++key) nodes.push_back(system->AllocKeyValuesMemory(nodeSize));
    }
    double ns = bench::ThreadCpuNs() - start;
    for (void* node : nodes) system->FreeKeyValuesMemory(node);
    return ns;
}

// One parse in a fresh process: this program with --once. Returns the time, or a
// negative value when the child failed.
double TimeInFreshProcess(Contender which, int entryCount) {
    return bench::TimeInFreshProcess(std::string("--once ") + kContenderNames[which] + " " + std::to_string(entryCount));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--once") == 0) {
        int entryCount = atoi(argv[3]);
        int which = -1;
        for (int c = 0; c < CONTENDERS; ++c) {
            if (strcmp(argv[2], kContenderNames[c]) == 0) which = c;
        }
        if (which < 0 || entryCount < 1) return 2;
        Inputs in = MakeInputs(entryCount);
        bool agree = true;
        double ns = TimeOne(static_cast<Contender>(which), in, true, &agree);
        printf("%.0f\n", ns);
        return agree ? 0 : 1;
    }

    int entryCount = argc > 1 ? atoi(argv[1]) : 20000;
    int warmRounds = argc > 2 ? atoi(argv[2]) : 21;
    int coldRounds = argc > 3 ? atoi(argv[3]) : 11;
    if (entryCount < 1 || warmRounds < 1 || coldRounds < 0) {
        fprintf(stderr, "usage: %s [entries >= 1] [warm rounds >= 1] [cold rounds >= 0]\n", argv[0]);
        return 2;
    }
    Inputs in = MakeInputs(entryCount);
    printf("key-value load (P1): %d entries, text %zu bytes (JSON %zu bytes)\n", entryCount, in.kvText.size(),
           in.jsonText.size());
    bench::CheckPinned();

    // VL_BENCH_ONLY=kv (or rapidjson, nlohmann) runs the warm rounds of one contender
    // only, for a profiler; no ratios are printed then.
    const char* only = getenv("VL_BENCH_ONLY");
    if (only) {
        for (int c = 0; c < CONTENDERS; ++c) {
            if (strcmp(only, kContenderNames[c]) != 0) continue;
            bool agree = true;
            for (int round = 0; round < warmRounds; ++round) TimeOne(static_cast<Contender>(c), in, round == 0, &agree);
            return agree ? 0 : 1;
        }
        return 2;
    }

    bool agree = true;
    std::vector<double> times[CONTENDERS];
    std::vector<double> runtimeShare;
    std::vector<void*> nodes;
    nodes.reserve(in.entries.size() * 5);
    for (int round = -1; round < warmRounds; ++round) {  // round -1 warms up, uncounted
        for (int i = 0; i < CONTENDERS; ++i) {
            Contender which = static_cast<Contender>((i + round + 1) % CONTENDERS);
            double ns = TimeOne(which, in, round < 0, &agree);
            if (round >= 0) times[which].push_back(ns);
        }
        double ns = TimeRuntimeShare(in, nodes);
        if (round >= 0) runtimeShare.push_back(ns);
    }
    printf(" warm, %d rounds (one process, symbols already interned):\n", warmRounds);
    bench::PrintTime("KeyValues::LoadFromBuffer", times[KV], entryCount, "entry");
    bench::PrintTime("RapidJSON Document::Parse", times[RAPID], entryCount, "entry");
    bench::PrintTime("nlohmann::json::parse", times[NLOHMANN], entryCount, "entry");
    bench::PrintRatio("P1 warm: KeyValues / RapidJSON DOM", bench::Ratios(times[KV], times[RAPID]), "<= 1.00x");
    bench::PrintRatio("P1 warm: KeyValues / nlohmann", bench::Ratios(times[KV], times[NLOHMANN]), "<= 0.25x");
    bench::PrintRatio("P1 warm: of it in the runtime / RapidJSON", bench::Ratios(runtimeShare, times[RAPID]),
                      "(lookups + node allocations; information)");
    std::vector<double> readerShare;
    for (size_t i = 0; i < times[KV].size() && i < runtimeShare.size(); ++i)
        readerShare.push_back(times[KV][i] - runtimeShare[i]);
    bench::PrintRatio("P1 warm: of it in the reader / RapidJSON", bench::Ratios(readerShare, times[RAPID]),
                      "(the load minus the runtime's share; information)");
    bench::PrintRatioVerdict("P1", "warm_kv/rapidjson", bench::Ratios(times[KV], times[RAPID]), 1.0);
    bench::PrintRatioVerdict("P1", "warm_kv/nlohmann", bench::Ratios(times[KV], times[NLOHMANN]), 0.25);

    if (coldRounds > 0) {
        std::vector<double> cold[CONTENDERS];
        for (int round = 0; round < coldRounds; ++round) {
            for (int i = 0; i < CONTENDERS; ++i) {
                Contender which = static_cast<Contender>((i + round) % CONTENDERS);
                double ns = TimeInFreshProcess(which, entryCount);
                if (ns < 0) agree = false;
                cold[which].push_back(ns);
            }
        }
        printf(" cold, %d rounds (a fresh process for every parse):\n", coldRounds);
        bench::PrintTime("KeyValues::LoadFromBuffer", cold[KV], entryCount, "entry");
        bench::PrintTime("RapidJSON Document::Parse", cold[RAPID], entryCount, "entry");
        bench::PrintTime("nlohmann::json::parse", cold[NLOHMANN], entryCount, "entry");
        bench::PrintRatio("P1 cold: KeyValues / RapidJSON DOM", bench::Ratios(cold[KV], cold[RAPID]), "<= 1.00x");
        bench::PrintRatio("P1 cold: KeyValues / nlohmann", bench::Ratios(cold[KV], cold[NLOHMANN]), "<= 0.25x");
        bench::PrintRatioVerdict("P1", "cold_kv/rapidjson", bench::Ratios(cold[KV], cold[RAPID]), 1.0);
        bench::PrintRatioVerdict("P1", "cold_kv/nlohmann", bench::Ratios(cold[KV], cold[NLOHMANN]), 0.25);
    }
    printf("  trees agree: %s\n", agree ? "yes" : "NO");
    return agree ? 0 : 1;
}
