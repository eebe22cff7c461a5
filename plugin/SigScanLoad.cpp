// Building and installing the function table, with its failures on the console.
#include "plugin/SigScanLoad.h"

#include "sigscan/SigScanLoader.h"
#include "tier0/commandline.h"

namespace {

// Prints each failure as the build reports it.
class ConsoleReport final : public ISigScanReport {
public:
    void OnFailure(const SigScanFailure& failure) override { PrintSigScanFailure(failure); }
};

}  // namespace

bool SigScanFallbackEnabled() {
    ICommandLine* commandLine = CommandLine_Tier0();
    return commandLine && commandLine->FindParm("-vl_sigscan_fallback") != 0;
}

bool UTIL_PrecacheOffsets() {
    // Emptied first, so a file that cannot be read leaves an empty table, not the last one.
    ClearSigScanData();
    ConsoleReport report;
    SigScanTableBuild build;
    if (!BuildSigScanTable(build, SigScanFallbackEnabled(), &report)) return false;
    InstallSigScanTable(build.records, build.routes);
    return true;
}

bool UTIL_ReloadOffsets(int* located, int* enabled, const char** why) {
    ConsoleReport report;
    SigScanTableBuild build;
    build.stopAtKeyValueErrors = true;  // a damaged file is refused before its entries are resolved
    const char* failure = nullptr;
    if (!BuildSigScanTable(build, SigScanFallbackEnabled(), &report))
        failure = "the data file could not be read";
    else if (build.keyValueErrors > 0)
        failure = "the data file has key-value errors (shown at developer level 1)";
    else if (!build.libraryOpened)
        failure = "the game server library could not be opened";
    else if (build.enabled == 0 && VRN_SigScan_Data.Count() > 0)
        failure = "the data file has no enabled entry";
    if (failure) {
        if (why) *why = failure;
        return false;
    }
    InstallSigScanTable(build.records, build.routes);
    if (located) *located = VRN_SigScan_Data.Count();
    if (enabled) *enabled = build.enabled;
    if (why) *why = "";
    return true;
}
