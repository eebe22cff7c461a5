// CheckPlugin and the record listing it shares with "vl_sigscan".
#include "plugin/LoadReport.h"

#include <stdint.h>
#include <stdio.h>

#include "plugin/VorlaneUtilsPlugin.h"
#include "sigscan/SigScanData.h"
#include "tier0/dbg.h"

namespace {

// One "Label: value" line, cut to the 1 KB line buffer and always terminated.
void PrintField(const char* label, const char* value) {
    char line[1024];
    if (snprintf(line, sizeof(line), "%s: %s\n", label, value) >= static_cast<int>(sizeof(line))) {
        line[sizeof(line) - 2] = '\n';  // keep the line a line when cut
    }
    Msg("%s", line);
}

}  // namespace

void PrintSigScanRecord(const vrn_sigscan_struct& record) {
    char text[1024];
    PrintField("Name", record.funcName);
    snprintf(text, sizeof(text), "%d", record.funcIndex);
    PrintField("Index", text);
    snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(record.funcAddress)));
    PrintField("Addr", text);
    FormatSignature(record.sigBytes, text, sizeof(text));
    PrintField("Sig", text);
    PrintField("Mask", record.sigMask);
    PrintField("Symbol", record.symbolName);
}

void CheckPlugin() {
    struct Check {
        const void* global;
        const char* line;
    };
    const Check checks[] = {
        {engine, "Engine Interface NOT Loaded!"},
        {filesystem, "FileSystem Interface NOT Loaded!"},
        {gameeventmanager2, "GameEventManager Interface NOT Loaded!"},
        {playerinfomanager, "PlayerInfoManager Interface NOT Loaded!"},
        {botmanager, "BotManager Interface NOT Loaded!"},
        {helpers, "Helpers Interface NOT Loaded!"},
        {randomStr, "RandomStream Interface NOT Loaded!"},
        {enginetrace, "EngineTrace Interface NOT Loaded!"},
        {cvars, "Cvar Interface NOT Loaded!"},
        {networkstringtable, "String Table Interface NOT Loaded!"},
    };

    DebugMsg(0, "Vorlane Utils Debugging");
    DebugMsg(0, "---------------------------");
    DebugMsg(0, "\n");
    DebugMsg(0, "Checking Main Interfaces");
    for (const Check& check : checks) {
        if (!check.global) DebugMsg(3, check.line);
    }
    DebugMsg(0, "Finished Checking Main Interfaces");
    DebugMsg(0, "\n");
    DebugMsg(0, "Checking SigScan Information");
    DebugMsg(0, "\n");
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) {
        PrintSigScanRecord(VRN_SigScan_Data[i]);
        Msg(" \n");
    }
    DebugMsg(0, "\n");
    DebugMsg(0, "Finished Checking SigScan Information");
    DebugMsg(0, "\n");
    DebugMsg(0, "Vorlane Utils Debug Complete");
    DebugMsg(0, "---------------------------");
}
