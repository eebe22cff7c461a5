// The resolver object with its console lines.
#include "sigscan/SigScan.h"

SigScan::SigScan() : failed(!GetBaseAddress()) {
    if (failed) PrintSigScanFailure(SigScanFailure{SIGSCAN_NO_BASE_ADDRESS});
}

bool SigScan::GetBaseAddress() {
    SigScanFailure failure{SIGSCAN_LIBRARY_NOT_OPENED};
    if (OpenGameLibrary(&failure)) return true;
    PrintSigScanFailure(failure);
    return false;
}

void* SigScan::FindSymbolAddress(const char* name, const char* symbol) {
    if (!g_BaseAddr) return nullptr;
    SigScanFailure failure{SIGSCAN_EXPORT_MISSING};
    void* address = FindExport(g_BaseAddr, symbol, &failure.detail);
    if (address) return address;
    failure.entry = name;
    PrintSigScanFailure(failure);
    return nullptr;
}

void* SigScan::FindFunctionAddresss(const char* name, unsigned char*, const char*, unsigned int, const char* symbol) {
    if (failed) return nullptr;
    return FindSymbolAddress(name, symbol);
}

void SigScan::Dispose() { CloseGameLibrary(); }
