// The plugin object's virtual table as the engine sees it. This file deliberately uses
// none of the plugin's headers: it declares the slots by position, as an engine built
// separately would, and calls them through the object returned by CreateInterface.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "support/ConsoleCapture.h"
#include "support/HostFixture.h"

namespace {

typedef void* (*Factory)(const char*, int*);

// Slot positions, counting from 0. The virtual destructor takes two entries (complete
// and deleting) between NetworkIDValidated and FireGameEvent.
enum Slot {
    kLoad = 0,
    kUnload = 1,
    kPause = 2,
    kUnPause = 3,
    kGetPluginDescription = 4,
    kGameFrame = 7,
    kSetCommandClient = 12,
    kClientConnect = 14,
    kClientCommand = 15,
    kNetworkIDValidated = 16,
    kFireGameEvent = 19,
    kGetCommandIndex = 20,
};

template <typename Fn>
Fn SlotOf(void* object, int slot) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Fn>(table[slot]);
}

void* NoInterfaces(const char*, int* code) {
    if (code) *code = 1;
    return nullptr;
}

class PluginSlotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        module = dlopen(PluginPath().c_str(), RTLD_NOW);
        ASSERT_NE(module, nullptr) << dlerror();
        auto factory = reinterpret_cast<Factory>(dlsym(module, "CreateInterface"));
        ASSERT_NE(factory, nullptr);
        plugin = factory("ISERVERPLUGINCALLBACKS001", nullptr);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (module) dlclose(module);
    }

    void* module = nullptr;
    void* plugin = nullptr;
    ConsoleCapture console;
};

TEST_F(PluginSlotsTest, SlotsSitWhereTheEngineCallsThem) {
    auto load = SlotOf<bool (*)(void*, Factory, Factory)>(plugin, kLoad);
    EXPECT_FALSE(load(plugin, NoInterfaces, NoInterfaces));
    EXPECT_EQ(console.Lines().at(0), "Fatal Error : Required interfaces failed to Load");
    console.Clear();

    SlotOf<void (*)(void*)>(plugin, kUnload)(plugin);
    SlotOf<void (*)(void*)>(plugin, kPause)(plugin);
    SlotOf<void (*)(void*)>(plugin, kUnPause)(plugin);
    EXPECT_EQ(console.Text(), "Plugin UnLoaded\nPlugin Paused\nPlugin UnPaused\n");

    auto describe = SlotOf<const char* (*)(void*)>(plugin, kGetPluginDescription);
    const char* first = describe(plugin);
    const std::string text = first;
    EXPECT_EQ(text.rfind("Vorlane Utils 0.0.2, Brekkon, ", 0), 0u) << text;
    EXPECT_EQ(describe(plugin), first) << "one static buffer";
    EXPECT_EQ(std::string(describe(plugin)), text);

    SlotOf<void (*)(void*, int)>(plugin, kSetCommandClient)(plugin, 5);
    EXPECT_EQ(SlotOf<int (*)(void*)>(plugin, kGetCommandIndex)(plugin), 5);
    SlotOf<void (*)(void*, int)>(plugin, kSetCommandClient)(plugin, -2);
    EXPECT_EQ(SlotOf<int (*)(void*)>(plugin, kGetCommandIndex)(plugin), -2);
}

TEST_F(PluginSlotsTest, ClientCallbacksContinueAndTouchNothing) {
    bool allow = false;
    char reject[8] = "keep";
    auto connect = SlotOf<int (*)(void*, bool*, void*, const char*, const char*, char*, int)>(plugin, kClientConnect);
    EXPECT_EQ(connect(plugin, &allow, nullptr, "name", "127.0.0.1", reject, sizeof(reject)), 0);
    EXPECT_FALSE(allow);
    EXPECT_STREQ(reject, "keep");
    EXPECT_EQ(SlotOf<int (*)(void*, void*)>(plugin, kClientCommand)(plugin, nullptr), 0);
    EXPECT_EQ(SlotOf<int (*)(void*, const char*, const char*)>(plugin, kNetworkIDValidated)(plugin, "a", "b"), 0);

    // Without bots, a frame and an event do nothing visible.
    SlotOf<void (*)(void*, bool)>(plugin, kGameFrame)(plugin, true);
    SlotOf<void (*)(void*, bool)>(plugin, kGameFrame)(plugin, false);
    SlotOf<void (*)(void*, void*)>(plugin, kFireGameEvent)(plugin, nullptr);
    EXPECT_EQ(console.Text(), "");
}

}  // namespace
