// The plugin does not depend on the order in which its units' static objects are
// constructed: built from the same units linked in the reverse order, it loads, reports,
// registers and runs its commands exactly as the product does.
#include <algorithm>
#include <string>
#include <vector>

#include "host/engine/ConsoleObjects.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/HostFixture.h"

namespace {

class LinkOrderTest : public HostTest {
protected:
    // Everything an operator sees of one plugin library on the demo game directory, from
    // load to unload, with the addresses (which may move between loads) left out.
    Lines Session(const std::string& library) {
        HostOptions options;
        options.gameDir = GameDir();
        StartEngine(options);
        host.AddClient("Alice", "ID_1", false);
        host.AddClient("Bob", "ID_2", false);
        console.Clear();
        EXPECT_TRUE(host.LoadPlugin(library)) << console.Text();
        for (ConCommandBase* object : HostVstdlib_Cvar()->Registered()) {
            const auto* view = reinterpret_cast<const ConsoleObjectView*>(object);
            registered_.push_back(std::string(view->name) + " " + std::to_string(view->flags));
        }
        // User ids go on counting across engine starts: address the players by slot.
        const std::string alice = std::to_string(host.UserIdOf(1)), bob = std::to_string(host.UserIdOf(2));
        for (const std::string& line : {std::string("vl_sigscan"), "vl_spawn " + bob, "vl_changeteam " + alice + " 3",
                                        std::string("vl_utils_version"), std::string("vl_spawn")}) {
            host.ExecuteLine(line);
        }
        host.ExecuteLine("plugin_bot_add");
        host.RunFrames(20);
        Lines seen;
        for (const GameCall& call : host.Game()->Calls()) {
            seen.push_back(call.function + " " + std::to_string(call.entity) + " " + call.args);
        }
        host.Shutdown();
        for (const std::string& line : console.Lines()) {
            seen.push_back(line.rfind("Addr: ", 0) == 0 ? std::string("Addr: ") : line);
        }
        console.Clear();
        return seen;
    }
    Lines registered_;
};

TEST_F(LinkOrderTest, ReverseLinkOrderBehavesTheSame) {
    const Lines product = Session(PluginPath());
    const Lines productRegistered = registered_;
    registered_.clear();
    const Lines reversed = Session(BinDir() + "/vorlane_utils_reversed.so");
    ASSERT_GT(product.size(), 30u);
    EXPECT_EQ(reversed, product);
    // Registration follows the registry list, which each unit fills in its own order; the
    // same objects are registered with the same flags.
    std::sort(registered_.begin(), registered_.end());
    Lines sortedProduct = productRegistered;
    std::sort(sortedProduct.begin(), sortedProduct.end());
    EXPECT_EQ(registered_, sortedProduct);
    EXPECT_NE(std::find(sortedProduct.begin(), sortedProduct.end(), "vl_sigscan 262144"), sortedProduct.end());
}

}  // namespace
