// The function table, its routes and its lookups.
#include "sigscan/SigScanTable.h"

#include "sigscan/SigScanIndex.h"

CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;
void* te = nullptr;

namespace {
// How each record of VRN_SigScan_Data was found, at the same positions, when the table
// was built with the fallbacks on; empty otherwise. Cleared with the table.
CUtlVector<SigScanRoute> s_routes;

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

SigScanRoute GetFuncRoute(int index) { return s_routes.IsValidIndex(index) ? s_routes[index] : SIGSCAN_ROUTE_NONE; }

void FreeSigScanRecords(CUtlVector<vrn_sigscan_struct>& records) {
    for (int i = 0; i < records.Count(); ++i) delete[] records[i].sigBytes;
    records.Purge();
}

void ClearSigScanData() {
    FreeSigScanRecords(VRN_SigScan_Data);
    s_routes.Purge();
    te = nullptr;
    RebuildSigScanIndex();
}

void InstallSigScanTable(CUtlVector<vrn_sigscan_struct>& records, CUtlVector<SigScanRoute>& routes) {
    ClearSigScanData();
    VRN_SigScan_Data.Swap(records);
    s_routes.Swap(routes);
    RebuildSigScanIndex();
    te = GetFuncAddr("te");
}
