// Reloading the plugin in a running server, as an operator does with host_plugin_unload
// and host_plugin_load: the console forgets exactly the plugin's objects, the library
// leaves the process, and a thousand cycles give back every block and node they took.
#include <string>
#include <vector>

#include "host/engine/ConsoleObjects.h"
#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/HostFixture.h"

namespace {

// A console object of the host's own, laid out as the engine expects (virtual slots and
// fields of ConsoleObjects.h), without the plugin flag.
class HostOwnedObject {
public:
    virtual ~HostOwnedObject() = default;
    virtual bool IsCommand() const { return true; }
    virtual bool IsBitSet(int flag) const { return (flags & flag) != 0; }
    virtual void AddFlags(int flag) { flags |= flag; }
    virtual const char* GetName() const { return name; }

    HostOwnedObject* next = nullptr;
    bool registered = true;
    const char* name = "host_owned";
    const char* helpText = "";
    int flags = 0x100;
};

class PluginReloadTest : public HostTest {
protected:
    static Lines RegisteredNames() {
        Lines names;
        for (ConCommandBase* object : HostVstdlib_Cvar()->Registered()) names.push_back(ConsoleObjectName(object));
        return names;
    }
};

TEST_F(PluginReloadTest, UnloadAndLoadCommands) {
    StartEngine();
    EXPECT_EQ(Run("host_plugin_unload"), Lines{"host: no plugin is loaded"});
    EXPECT_EQ(Run("host_plugin_load"), Lines{"Syntax: host_plugin_load <path>"}) << "no plugin asked for yet";
    EXPECT_EQ(Run("host_plugin_load /nonexistent/plugin.so").size(), 1u);
    EXPECT_EQ(host.Plugin(), nullptr);

    HostOwnedObject own;
    HostVstdlib_Cvar()->RegisterConCommandBase(reinterpret_cast<ConCommandBase*>(&own));
    Lines loaded = Run("host_plugin_load " + PluginPath());
    ASSERT_NE(host.Plugin(), nullptr);
    ASSERT_FALSE(loaded.empty());
    EXPECT_EQ(loaded.back().rfind("host: loaded plugin \"Vorlane Utils 0.0.2", 0), 0u);
    const Lines names = RegisteredNames();
    EXPECT_EQ(names.front(), "host_owned");
    EXPECT_GT(names.size(), 4u);
    EXPECT_EQ(Run("host_plugin_load " + PluginPath()), Lines{"host: a plugin is already loaded"});

    // Unloading leaves the host's own object, and the library leaves the process.
    EXPECT_EQ(Run("host_plugin_unload"), (Lines{"Plugin UnLoaded", "host: unloaded plugin"}));
    EXPECT_EQ(host.Plugin(), nullptr);
    EXPECT_EQ(RegisteredNames(), Lines{"host_owned"});
    EXPECT_FALSE(IsLoaded(PluginPath()));
    EXPECT_EQ(Run("vl_spawn 2"), Lines{"Unknown command \"vl_spawn\""});

    // Without a path the plugin loaded last comes back, with the same console objects.
    Run("host_plugin_load");
    ASSERT_NE(host.Plugin(), nullptr);
    EXPECT_TRUE(IsLoaded(PluginPath()));
    EXPECT_EQ(RegisteredNames(), names);
    EXPECT_TRUE(HostVstdlib_Cvar()->Unregister(reinterpret_cast<ConCommandBase*>(&own)));
    EXPECT_FALSE(HostVstdlib_Cvar()->Unregister(reinterpret_cast<ConCommandBase*>(&own)));
}

TEST_F(PluginReloadTest, AThousandCyclesKeepEveryCommandWorkingAndLeakNothing) {
    StartEngine();
    ASSERT_EQ(host.AddClient("Alice", "VL:0:1001", false), 1);
    ASSERT_EQ(host.UserIdOf(1), 2);
    const int blocksAtStart = HostTier0_LiveAllocations();
    const int nodesAtStart = HostVstdlib_LiveKeyValues();
    Lines names;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        Run(cycle == 0 ? "host_plugin_load " + PluginPath() : "host_plugin_load");
        ASSERT_NE(host.Plugin(), nullptr) << console.Text();
        if (cycle == 0) names = RegisteredNames();
        ASSERT_EQ(RegisteredNames(), names);

        host.Game()->ClearCalls();
        ASSERT_EQ(Run("vl_spawn 2"), Lines{"player 1 respawned"});
        ASSERT_EQ(Run("vl_changeteam 2 3"), Lines{"player 1 moved to team 3"});
        ASSERT_EQ(host.Game()->Calls().size(), 2u);
        ASSERT_EQ(host.Game()->Calls()[0].function, "GameRoundRespawn");
        ASSERT_EQ(host.Game()->Calls()[1].function, "GameSwitchTeam");
        const Lines listing = Run("vl_sigscan");
        ASSERT_GE(listing.size(), 9u);
        ASSERT_EQ(listing[2], "Name: CCSPlayer::RoundRespawn");
        ASSERT_EQ(listing[3], "Index: 1") << "the table is built afresh, not appended to";
        ASSERT_EQ(Run("vl_utils_version")[0], "\"vl_utils_version\" is \"0.0.2\" (default \"0.0.2\")");

        ASSERT_EQ(Run("host_plugin_unload"), (Lines{"Plugin UnLoaded", "host: unloaded plugin"}));
        ASSERT_TRUE(HostVstdlib_Cvar()->Registered().empty());
        ASSERT_EQ(HostTier0_LiveAllocations(), blocksAtStart);
        ASSERT_EQ(HostVstdlib_LiveKeyValues(), nodesAtStart);
    }
    EXPECT_GE(names.size(), 4u);
}

}  // namespace
