// Loading the built plugin the way the engine does: the exported factory, and Load's
// interface requests with their failure path.
#include <dlfcn.h>

#include <algorithm>

#include <string>
#include <vector>

#include "support/HostFixture.h"

namespace {

typedef void* (*Factory)(const char*, int*);

const char* const kRequestOrder[] = {
    "VEngineServer021",
    "GAMEEVENTSMANAGER002",
    "VFileSystem017",
    "ISERVERPLUGINHELPERS001",
    "EngineTraceServer003",
    "VEngineCvar003",
    "VEngineServerStringTable001",
    "PlayerInfoManager002",
    "BotManager001",
    "VEngineRandom001",
    "ServerGameDLL006",
    "ServerGameEnts001",
};
const bool kFromGameServer[] = {false, false, false, false, false, false, false, true, true, false, true, true};

TEST(PluginFactory, AnswersOnlyItsExactVersionString) {
    void* module = dlopen(PluginPath().c_str(), RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    auto factory = reinterpret_cast<Factory>(dlsym(module, "CreateInterface"));
    ASSERT_NE(factory, nullptr);

    int code = -1;
    void* first = factory("ISERVERPLUGINCALLBACKS001", &code);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(factory("ISERVERPLUGINCALLBACKS001", nullptr), first) << "the same object on every lookup";

    code = -1;
    EXPECT_EQ(factory("ISERVERPLUGINCALLBACKS002", &code), nullptr);
    EXPECT_EQ(code, 1);
    code = -1;
    EXPECT_EQ(factory("iserverplugincallbacks001", &code), nullptr) << "lookup is case-sensitive";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(factory("", nullptr), nullptr);
    dlclose(module);
}

class PluginLoadTest : public HostTest {};

TEST_F(PluginLoadTest, LoadRequestsInterfacesInOrderAndSetsGlobals) {
    StartWithPlugin();
    const auto& requests = host.Requests();
    // The twelve of Load, then the console registration asks for the console again.
    ASSERT_EQ(requests.size(), 13u);
    EXPECT_EQ(requests[12].name, "VEngineCvar003");
    EXPECT_FALSE(requests[12].fromGameServer);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(requests[i].name, kRequestOrder[i]) << "request " << i;
        EXPECT_EQ(requests[i].fromGameServer, kFromGameServer[i]) << kRequestOrder[i];
    }
    EXPECT_NE(console.Text().find("Plugin Loaded\n"), std::string::npos);
    ASSERT_FALSE(host.LogLines().empty());
    EXPECT_EQ(host.LogLines().back(), "Plugin Loaded\n");

    auto globals = PluginSymbol<ServerGlobals**>("gpGlobals");
    ASSERT_NE(globals, nullptr);
    EXPECT_EQ(*globals, &host.Globals());
    auto engineGlobal = PluginSymbol<void**>("engine");
    ASSERT_NE(engineGlobal, nullptr);
    EXPECT_NE(*engineGlobal, nullptr);
}

// Each interface left out in turn: Load asks for exactly the interfaces up to and
// including the missing one, prints the two level-3 lines and fails.
class MissingInterfaceTest : public HostTest, public ::testing::WithParamInterface<int> {};

TEST_P(MissingInterfaceTest, LoadFailsAtFirstMissingInterface) {
    const int missing = GetParam();
    HostOptions options;
    options.omit.insert(kRequestOrder[missing]);
    StartEngine(options);
    console.Clear();
    EXPECT_FALSE(host.LoadPlugin(PluginPath()));

    const auto& requests = host.Requests();
    ASSERT_EQ(requests.size(), static_cast<size_t>(missing + 1));
    for (int i = 0; i <= missing; ++i) EXPECT_EQ(requests[i].name, kRequestOrder[i]);
    EXPECT_FALSE(requests.back().answered);

    const std::vector<std::string> lines = console.Lines();
    ASSERT_GE(lines.size(), 2u) << console.Text();
    EXPECT_EQ(lines[0], "Fatal Error : Required interfaces failed to Load");
    EXPECT_EQ(lines[1], "Fatal Error : Debugging to Specify the failed interface");
    EXPECT_EQ(console.Text().find("Plugin Loaded"), std::string::npos);
    if (missing == 0) {
        EXPECT_TRUE(host.LogLines().empty()) << "no server log without the engine interface";
    } else {
        ASSERT_GE(host.LogLines().size(), 2u);
        EXPECT_EQ(host.LogLines()[0], "Fatal Error : Required interfaces failed to Load\n");
    }
}

INSTANTIATE_TEST_SUITE_P(EachInterface, MissingInterfaceTest, ::testing::Range(0, 12));

// The report's fixed lines; `missing` are the level-3 lines between "Checking Main
// Interfaces" and "Finished Checking Main Interfaces".
std::vector<std::string> Report(const std::vector<std::string>& missing) {
    std::vector<std::string> lines = {"Vorlane Utils Debugging", "---------------------------", "", "",
                                      "Checking Main Interfaces"};
    for (const std::string& line : missing) lines.push_back("Fatal Error : " + line);
    for (const char* line : {"Finished Checking Main Interfaces", "", "", "Checking SigScan Information", "", "", "",
                             "", "Finished Checking SigScan Information", "", "", "Vorlane Utils Debug Complete",
                             "---------------------------"}) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(PluginLoadTest, SuccessfulLoadReportsBeforePluginLoaded) {
    HostOptions options;
    options.gameDir = MakeGameDir({{"addons/vorlane/sigscan_info.dat", "\"sigs\"\n{\n}\n"}});  // no entries
    StartEngine(options);
    console.Clear();
    ASSERT_TRUE(host.LoadPlugin(PluginPath()));
    std::vector<std::string> expected = Report({});
    expected.push_back("Plugin Loaded");
    std::vector<std::string> lines = console.Lines();
    lines.resize(std::min(lines.size(), expected.size()));
    EXPECT_EQ(lines, expected) << console.Text();
}

TEST_F(PluginLoadTest, ReportNamesEveryInterfaceStillMissing) {
    HostOptions options;
    options.omit.insert("BotManager001");
    StartEngine(options);
    console.Clear();
    EXPECT_FALSE(host.LoadPlugin(PluginPath()));
    std::vector<std::string> expected = {
        "Fatal Error : Required interfaces failed to Load", "Fatal Error : Debugging to Specify the failed interface",
        "Fatal Error : Load stopped at interface \"BotManager001\", which the game server factory does not provide"};
    for (const std::string& line : Report({"BotManager Interface NOT Loaded!", "RandomStream Interface NOT Loaded!"})) {
        expected.push_back(line);
    }
    expected.push_back("host: plugin failed to load");
    EXPECT_EQ(console.Lines(), expected);

    host.Shutdown();
    console.Clear();
    options.omit = {"VEngineServer021"};
    StartEngine(options);
    EXPECT_FALSE(host.LoadPlugin(PluginPath()));
    std::vector<std::string> all = Report(
        {"Engine Interface NOT Loaded!", "FileSystem Interface NOT Loaded!", "GameEventManager Interface NOT Loaded!",
         "PlayerInfoManager Interface NOT Loaded!", "BotManager Interface NOT Loaded!", "Helpers Interface NOT Loaded!",
         "RandomStream Interface NOT Loaded!", "EngineTrace Interface NOT Loaded!", "Cvar Interface NOT Loaded!",
         "String Table Interface NOT Loaded!"});
    std::vector<std::string> lines = console.Lines();
    ASSERT_GE(lines.size(), 3 + all.size());
    EXPECT_EQ(lines[2], "Fatal Error : Load stopped at interface \"VEngineServer021\", which the engine factory does not provide");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 3 + all.size()), all);

    // The line names the interface that stopped Load, not the first the report lists:
    // without the events manager the report starts with FileSystem.
    host.Shutdown();
    console.Clear();
    options.omit = {"GAMEEVENTSMANAGER002"};
    StartEngine(options);
    EXPECT_FALSE(host.LoadPlugin(PluginPath()));
    ASSERT_GE(console.Lines().size(), 3u);
    EXPECT_EQ(console.Lines()[2],
              "Fatal Error : Load stopped at interface \"GAMEEVENTSMANAGER002\", which the engine factory does not provide");
}

TEST_F(PluginLoadTest, UnloadPauseAndUnpauseOnlyPrint) {
    StartWithPlugin();
    console.Clear();
    host.Plugin()->Pause();
    host.Plugin()->UnPause();
    host.UnloadPlugin();
    EXPECT_EQ(console.Text(), "Plugin Paused\nPlugin UnPaused\nPlugin UnLoaded\n");
    EXPECT_EQ(host.LogLines().back(), "Plugin UnLoaded\n");
}

}  // namespace
