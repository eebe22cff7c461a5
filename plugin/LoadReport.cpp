// CheckPlugin: the report of missing interfaces and of the function table.
#include "plugin/LoadReport.h"

#include "plugin/SigScanListing.h"
#include "plugin/VorlaneUtilsPlugin.h"
#include "sigscan/SigScanTable.h"
#include "tier0/dbg.h"

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
        PrintSigScanTableRecord(i, " \n");
    }
    DebugMsg(0, "\n");
    DebugMsg(0, "Finished Checking SigScan Information");
    DebugMsg(0, "\n");
    DebugMsg(0, "Vorlane Utils Debug Complete");
    DebugMsg(0, "---------------------------");
}
