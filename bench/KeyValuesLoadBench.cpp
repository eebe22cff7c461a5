// Measures how fast the key-value text reader loads a signature data file, against two
// JSON DOM parsers reading the same tree written as JSON. Prints the median of repeated
// runs; exits non-zero only when the three trees disagree (never because of time).
//
// Usage: keyvalues_load_bench [entries (default 20000)] [runs (default 15)]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <rapidjson/document.h>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tier1/KeyValues.h"

namespace {

struct Entry {
    std::string name;
    int enabled;
    std::string sig;
    std::string mask;
    std::string symbol;
};

// A small deterministic generator, so every run and machine measures the same text.
uint32_t s_seed = 0x2545F491u;
uint32_t NextRandom() {
    s_seed ^= s_seed << 13;
    s_seed ^= s_seed >> 17;
    s_seed ^= s_seed << 5;
    return s_seed;
}

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

double NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

void PrintRow(const char* what, double ns, size_t bytes, int entries) {
    printf("  %-34s %9.3f ms  %8.1f MB/s  %8.1f ns/entry\n", what, ns / 1e6,
           static_cast<double>(bytes) / (ns / 1e9) / 1e6, ns / entries);
}

}  // namespace

int main(int argc, char** argv) {
    int entryCount = argc > 1 ? atoi(argv[1]) : 20000;
    int runs = argc > 2 ? atoi(argv[2]) : 15;
    if (entryCount < 1 || runs < 1) {
        fprintf(stderr, "usage: %s [entries >= 1] [runs >= 1]\n", argv[0]);
        return 2;
    }

    std::vector<Entry> entries = MakeEntries(entryCount);
    std::string kvText = MakeKeyValuesText(entries);
    std::string jsonText = MakeJsonText(entries);

    // Each parser runs its own series, so that one parser's heap use does not shape the
    // next one's; the first run of each series is the one checked.
    std::vector<double> ours, rapid, nlohmannTimes;
    bool agree = true;
    for (int run = 0; run < runs; ++run) {
        // Only the parse is timed; building the input and destroying the tree are not.
        KeyValues* root = new KeyValues("kdadmin_sigs");
        double start = NowNs();
        root->LoadFromBuffer("sigscan_info.dat", kvText.c_str());
        ours.push_back(NowNs() - start);
        if (run == 0) agree = KeyValuesAgrees(root, entries) && agree;
        root->deleteThis();
    }
    for (int run = 0; run < runs; ++run) {
        rapidjson::Document doc;
        double start = NowNs();
        doc.Parse(jsonText.c_str());
        rapid.push_back(NowNs() - start);
        if (run == 0) agree = RapidJsonAgrees(doc, entries) && agree;
    }
    for (int run = 0; run < runs; ++run) {
        double start = NowNs();
        nlohmann::json doc = nlohmann::json::parse(jsonText);
        nlohmannTimes.push_back(NowNs() - start);
        if (run == 0) agree = NlohmannAgrees(doc, entries) && agree;
    }

    double oursNs = Median(ours), rapidNs = Median(rapid), nlohmannNs = Median(nlohmannTimes);
    printf("key-value load: %d entries, text %zu bytes (JSON %zu bytes), median of %d runs\n", entryCount,
           kvText.size(), jsonText.size(), runs);
    PrintRow("KeyValues::LoadFromBuffer", oursNs, kvText.size(), entryCount);
    PrintRow("RapidJSON Document::Parse", rapidNs, jsonText.size(), entryCount);
    PrintRow("nlohmann::json::parse", nlohmannNs, jsonText.size(), entryCount);
    printf("  time ratio KeyValues / RapidJSON: %.2f\n", oursNs / rapidNs);
    printf("  time ratio KeyValues / nlohmann:  %.2f\n", oursNs / nlohmannNs);
    printf("  trees agree: %s\n", agree ? "yes" : "NO");
    return agree ? 0 : 1;
}
