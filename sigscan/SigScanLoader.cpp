// The function table and its lookups.
#include "sigscan/SigScanLoader.h"

#include "sigscan/SigScanIndex.h"
#include "sigscan/SigScanTable.h"

#include <string.h>
#include <strings.h>

#include "engine/EngineInterfaces.h"
#include "sigscan/GameCalls.h"
#include "sigscan/SigScan.h"
#include "sigscan/SigScanFallback.h"
#include "sigscan/SignatureText.h"
#include "tier0/dbg.h"
#include "tier1/KeyValues.h"
#include "tier1/StrTools.h"

CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;

namespace {
// How each record of VRN_SigScan_Data was found, at the same positions, when the table
// was built with the fallbacks on; empty otherwise. Cleared with the table.
CUtlVector<int> s_routes;

// Defined after the table, so destroyed before it: frees the signatures the records own
// when the library unloads.
struct SigScanDataOwner {
    ~SigScanDataOwner() { ClearSigScanData(); }
} s_sigScanDataOwner;
}  // namespace

int GetFuncIndex(const char* name) { return FindSigScanRecord(name); }

void* GetFuncAddr(const char* name) {
    const int index = GetFuncIndex(name);
    return index < 0 ? nullptr : VRN_SigScan_Data[index].funcAddress;
}

namespace {

// Copies `text` into a zero-filled record field of 1025 bytes: at most 1024 characters.
void CopyField(char (&field)[1025], const char* text) { V_strncpy(field, text ? text : "", sizeof(field)); }

// One pass of resolution: the scanner (the library opened by symbol), the fallbacks
// when the operator turned them on, and what the pass found.
struct Resolution {
    SigScan* scanner;
    SigScanFallback* fallback;  // null: exports only, exactly as without the switch
    CUtlVector<vrn_sigscan_struct>* table;
    CUtlVector<int>* routes;
    int enabled;  // enabled entries seen
};

// Resolves every enabled entry under `section`'s "sigscan" key and appends the resolved
// ones, numbering them on from the table's count.
void ResolveSection(KeyValues* section, Resolution& pass) {
    KeyValues* entries = section ? section->FindKey("sigscan") : nullptr;
    if (!entries) return;
    for (KeyValues* entry = entries->GetFirstSubKey(); entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        ++pass.enabled;
        const char* name = entry->GetName();
        const char* sigText = entry->GetString("sig", "");
        unsigned char* sigBytes = StrToHexStr(sigText);
        const char* mask = entry->GetString("mask", "");
        const char* symbol = entry->GetString("symbol", "");
        const unsigned int maskLength = static_cast<unsigned int>(strlen(mask));
        int route = SIGSCAN_ROUTE_EXPORT;
        void* address = nullptr;
        if (pass.fallback && !pass.scanner->failed) {
            // The decoded length counts zero bytes too: they are matched like any other.
            address = pass.fallback->Find(name, symbol, sigBytes, strlen(sigText) / 2, mask, maskLength, &route);
        }
        // Without the fallbacks, or when they found nothing, the plain lookup runs and
        // prints its usual line for a missing symbol.
        if (!address) address = pass.scanner->FindFunctionAddresss(name, sigBytes, mask, maskLength, symbol);
        if (!address) {
            delete[] sigBytes;
            continue;
        }
        const int index = pass.table->AddToTail();
        vrn_sigscan_struct& record = (*pass.table)[index];
        CopyField(record.funcName, name);
        CopyField(record.sigMask, mask);
        CopyField(record.symbolName, symbol);
        record.funcIndex = index + 1;
        record.sigBytes = sigBytes;
        record.funcAddress = address;
        if (pass.fallback) pass.routes->AddToTail(route);
    }
}

void FreeRecords(CUtlVector<vrn_sigscan_struct>& table) {
    for (int i = 0; i < table.Count(); ++i) delete[] table[i].sigBytes;
    table.Purge();
}

// Reads the data file and resolves its entries into `table` and `routes` (both empty on
// entry). Returns false, printing the load-failure line, when the file cannot be read;
// *libraryOpened tells whether the game library could be opened.
bool BuildTable(CUtlVector<vrn_sigscan_struct>& table, CUtlVector<int>& routes, int* enabled, bool* libraryOpened) {
    // The root's name is not checked against the file; this is the one the tree has always had.
    KeyValues* tree = new KeyValues("kdadmin_sigs");
    if (!tree->LoadFromFile(filesystem, "addons/vorlane/sigscan_info.dat", nullptr)) {
        Msg("Fail loading SigScan file\naddons/vorlane/sigscan_info.dat\n");
        tree->deleteThis();
        return false;
    }
    SigScan* scanner = new SigScan();
    SigScanFallback* fallback = SigScanFallbackEnabled() ? new SigScanFallback(g_BaseAddr) : nullptr;
    Resolution pass = {scanner, fallback, &table, &routes, 0};
    ResolveSection(tree->FindKey("default"), pass);
    ResolveSection(tree->FindKey(gamedll ? gamedll->GetGameDescription() : ""), pass);
    if (enabled) *enabled = pass.enabled;
    if (libraryOpened) *libraryOpened = !scanner->failed;
    delete fallback;  // before the library closes: it holds the loader's name of the file
    scanner->Dispose();
    delete scanner;
    tree->deleteThis();
    return true;
}

}  // namespace

void ClearSigScanData() {
    FreeRecords(VRN_SigScan_Data);
    s_routes.Purge();
    RebuildSigScanIndex();
}

int GetFuncRoute(int index) { return s_routes.IsValidIndex(index) ? s_routes[index] : -1; }

bool UTIL_PrecacheOffsets() {
    // The table always describes the latest load: a second Load (without the library
    // being reloaded) rebuilds it instead of appending a second set of records.
    ClearSigScanData();
    if (!BuildTable(VRN_SigScan_Data, s_routes, nullptr, nullptr)) return false;
    te = VRN_GetTempEnts();  // its lookup rebuilds the name index for the new table
    return true;
}

bool UTIL_ReloadOffsets(int* located, int* enabled, const char** why) {
    CUtlVector<vrn_sigscan_struct> table;
    CUtlVector<int> routes;
    int entries = 0;
    bool libraryOpened = false;
    const char* failure = nullptr;
    if (!BuildTable(table, routes, &entries, &libraryOpened))
        failure = "the data file could not be read";
    else if (!libraryOpened)
        failure = "the game server library could not be opened";
    if (failure) {
        FreeRecords(table);
        if (why) *why = failure;
        return false;
    }
    // Only now is the old table given up: its signatures are freed, the new records are
    // moved in (they keep their signature buffers), and `te` is read from the new table.
    ClearSigScanData();
    VRN_SigScan_Data.EnsureCapacity(table.Count());
    for (int i = 0; i < table.Count(); ++i) VRN_SigScan_Data.AddToTail(table[i]);
    for (int i = 0; i < routes.Count(); ++i) s_routes.AddToTail(routes[i]);
    table.Purge();
    te = VRN_GetTempEnts();  // its lookup rebuilds the name index for the new table
    if (located) *located = VRN_SigScan_Data.Count();
    if (enabled) *enabled = entries;
    if (why) *why = "";
    return true;
}
