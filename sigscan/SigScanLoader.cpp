// Reading the data file and resolving its entries.
#include "sigscan/SigScanLoader.h"

#include <string.h>

#include "engine/EngineInterfaces.h"
#include "sigscan/SignatureText.h"
#include "tier1/KeyValues.h"
#include "tier1/StrTools.h"

namespace {

// Copies `text` into a zero-filled record field of 1025 bytes: at most 1024 characters.
void CopyField(char (&field)[1025], const char* text) { V_strncpy(field, text ? text : "", sizeof(field)); }

// The enabled entries of the sections read, in file order, each with its decoded
// signature (owned here until a record takes it).
struct EnabledEntries {
    CUtlVector<SigScanEntry> entries;
    CUtlVector<unsigned char*> sigBytes;
    ~EnabledEntries() {
        for (int i = 0; i < sigBytes.Count(); ++i) delete[] sigBytes[i];
    }
};

// Appends every enabled entry under `section`'s "sigscan" key.
void CollectSection(KeyValues* section, bool useFallbacks, EnabledEntries& enabled, SigScanTableBuild& build) {
    KeyValues* entries = section ? section->FindKey("sigscan") : nullptr;
    if (!entries) return;
    for (KeyValues* entry = entries->GetFirstSubKey(); entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        ++build.enabled;
        const char* sigText = entry->GetString("sig", "");
        const int index = enabled.entries.AddToTail();
        enabled.sigBytes.AddToTail(StrToHexStr(sigText));
        SigScanEntry& e = enabled.entries[index];
        e.name = entry->GetName();
        e.symbol = entry->GetString("symbol", "");
        e.signature = enabled.sigBytes[index];
        // The decoded length counts zero bytes too: they are matched like any other.
        e.signatureLength = strlen(sigText) / 2;
        e.mask = entry->GetString("mask", "");
        e.maskLength = strlen(e.mask);
        e.signatureIsHex = !useFallbacks || IsHexSignatureText(sigText);
    }
}

// Resolves the entries (every signature among them with one scan of the code) and
// appends the resolved ones, numbered in entry order.
void ResolveEntries(EnabledEntries& enabled, SigScanResolver& resolver, bool useFallbacks, SigScanTableBuild& build) {
    resolver.ResolveAll(enabled.entries.Base(), static_cast<size_t>(enabled.entries.Count()));
    for (int i = 0; i < enabled.entries.Count(); ++i) {
        const SigScanEntry& entry = enabled.entries[i];
        if (!entry.address) continue;
        const int index = build.records.AddToTail();
        vrn_sigscan_struct& record = build.records[index];
        CopyField(record.funcName, entry.name);
        CopyField(record.sigMask, entry.mask);
        CopyField(record.symbolName, entry.symbol);
        record.funcIndex = index + 1;
        record.sigBytes = enabled.sigBytes[i];
        enabled.sigBytes[i] = nullptr;  // the record's now
        record.funcAddress = entry.address;
        if (useFallbacks) build.routes.AddToTail(entry.route);
    }
}

// Reports the blocks chained after the tree's first, which no section lookup reaches.
void ReportUnreadBlocks(KeyValues* tree, ISigScanReport* report) {
    if (!report || !tree->GetNextKey()) return;
    CUtlVector<char> names;
    auto append = [&names](const char* text) {
        while (*text) names.AddToTail(*text++);
    };
    size_t count = 0;
    for (KeyValues* block = tree->GetNextKey(); block; block = block->GetNextKey(), ++count) {
        append(count > 0 ? ", \"" : "\"");
        append(block->GetName());
        append("\"");
    }
    names.AddToTail('\0');
    SigScanFailure failure{SIGSCAN_BLOCKS_NOT_READ};
    failure.count = count;
    failure.detail = names.Base();
    report->OnFailure(failure);
}

}  // namespace

bool BuildSigScanTable(SigScanTableBuild& build, bool useFallbacks, ISigScanReport* report) {
    // The root's name is not checked against the file; this is the one the tree has always had.
    KeyValues* tree = new KeyValues("kdadmin_sigs");
    const int errorsBefore = g_KeyValuesErrorStack.GetReportCount();
    const bool loaded = tree->LoadFromFile(filesystem, SIGSCAN_DATA_FILE, nullptr);
    build.keyValueErrors = g_KeyValuesErrorStack.GetReportCount() - errorsBefore;
    if (!loaded) {
        tree->deleteThis();
        SigScanFailure failure{SIGSCAN_DATA_FILE_UNREADABLE};
        failure.detail = SIGSCAN_DATA_FILE;
        if (report) report->OnFailure(failure);
        return false;
    }
    if (build.stopAtKeyValueErrors && build.keyValueErrors > 0) {
        tree->deleteThis();
        return true;
    }
    ReportUnreadBlocks(tree, report);
    {
        SigScanResolver resolver(useFallbacks, report);
        build.libraryOpened = resolver.LibraryOpened();
        EnabledEntries enabled;
        CollectSection(tree->FindKey("default"), useFallbacks, enabled, build);
        CollectSection(tree->FindKey(gamedll ? gamedll->GetGameDescription() : ""), useFallbacks, enabled, build);
        ResolveEntries(enabled, resolver, useFallbacks, build);
    }  // the library closes here
    tree->deleteThis();
    return true;
}
