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

// Resolves every enabled entry under `section`'s "sigscan" key and appends the resolved
// ones, numbering them on from the table's count.
void ResolveSection(KeyValues* section, SigScanResolver& resolver, bool useFallbacks, SigScanTableBuild& build) {
    KeyValues* entries = section ? section->FindKey("sigscan") : nullptr;
    if (!entries) return;
    for (KeyValues* entry = entries->GetFirstSubKey(); entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        ++build.enabled;
        const char* name = entry->GetName();
        const char* sigText = entry->GetString("sig", "");
        unsigned char* sigBytes = StrToHexStr(sigText);
        const char* mask = entry->GetString("mask", "");
        const char* symbol = entry->GetString("symbol", "");
        SigScanRoute route = SIGSCAN_ROUTE_EXPORT;
        // The decoded length counts zero bytes too: they are matched like any other.
        void* address = resolver.Resolve(name, symbol, sigBytes, strlen(sigText) / 2, mask, strlen(mask), &route,
                                         !useFallbacks || IsHexSignatureText(sigText));
        if (!address) {
            delete[] sigBytes;
            continue;
        }
        const int index = build.records.AddToTail();
        vrn_sigscan_struct& record = build.records[index];
        CopyField(record.funcName, name);
        CopyField(record.sigMask, mask);
        CopyField(record.symbolName, symbol);
        record.funcIndex = index + 1;
        record.sigBytes = sigBytes;
        record.funcAddress = address;
        if (useFallbacks) build.routes.AddToTail(route);
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
        ResolveSection(tree->FindKey("default"), resolver, useFallbacks, build);
        ResolveSection(tree->FindKey(gamedll ? gamedll->GetGameDescription() : ""), resolver, useFallbacks, build);
    }  // the library closes here
    tree->deleteThis();
    return true;
}
