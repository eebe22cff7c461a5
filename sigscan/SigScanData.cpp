// The function table and its lookups.
#include "sigscan/SigScanData.h"

#include <string.h>
#include <strings.h>

#include "plugin/EngineInterfaces.h"
#include "sigscan/GameCalls.h"
#include "sigscan/SigScan.h"
#include "sigscan/SignatureText.h"
#include "tier0/dbg.h"
#include "tier1/KeyValues.h"
#include "tier1/StrTools.h"

CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;

void ClearSigScanData() {
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) delete[] VRN_SigScan_Data[i].sigBytes;
    VRN_SigScan_Data.Purge();
    RebuildSigScanIndex();
}

namespace {
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

// Copies `text` into a record field of 1025 bytes: at most 1024 characters, the rest of
// the field zero-filled.
void CopyField(char (&field)[1025], const char* text) {
    memset(field, 0, sizeof(field));
    V_strncpy(field, text ? text : "", sizeof(field));
}

// Resolves every enabled entry under `section`'s "sigscan" key and appends the resolved
// ones, numbering them on from `*resolved`.
void ResolveSection(KeyValues* section, SigScan& scanner, int* resolved) {
    KeyValues* entries = section ? section->FindKey("sigscan") : nullptr;
    if (!entries) return;
    for (KeyValues* entry = entries->GetFirstSubKey(); entry; entry = entry->GetNextKey()) {
        if (entry->GetInt("enabled", 0) == 0) continue;
        const char* name = entry->GetName();
        unsigned char* sigBytes = StrToHexStr(entry->GetString("sig", ""));
        const char* mask = entry->GetString("mask", "");
        const char* symbol = entry->GetString("symbol", "");
        void* address =
            scanner.FindFunctionAddresss(name, sigBytes, mask, static_cast<unsigned int>(strlen(mask)), symbol);
        if (!address) {
            delete[] sigBytes;
            continue;
        }
        vrn_sigscan_struct record;
        CopyField(record.funcName, name);
        CopyField(record.sigMask, mask);
        CopyField(record.symbolName, symbol);
        record.funcIndex = *resolved + 1;
        record.sigBytes = sigBytes;
        record.funcAddress = address;
        VRN_SigScan_Data.AddToTail(record);
        ++*resolved;
    }
}

}  // namespace

bool UTIL_PrecacheOffsets() {
    // The table always describes the latest load: a second Load (without the library
    // being reloaded) rebuilds it instead of appending a second set of records.
    ClearSigScanData();

    // The root's name is not checked against the file; this is the one the tree has always had.
    KeyValues* tree = new KeyValues("kdadmin_sigs");
    if (!tree->LoadFromFile(filesystem, "addons/vorlane/sigscan_info.dat", nullptr)) {
        Msg("Fail loading SigScan file\naddons/vorlane/sigscan_info.dat\n");
        tree->deleteThis();
        return false;
    }
    SigScan* scanner = new SigScan();
    int resolved = 0;
    ResolveSection(tree->FindKey("default"), *scanner, &resolved);
    ResolveSection(tree->FindKey(gamedll ? gamedll->GetGameDescription() : ""), *scanner, &resolved);
    RebuildSigScanIndex();
    te = VRN_GetTempEnts();
    scanner->Dispose();
    delete scanner;
    tree->deleteThis();
    return true;
}
