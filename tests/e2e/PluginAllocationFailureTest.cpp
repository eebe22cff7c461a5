// The plugin's load on the demo game directory when the runtime allocator refuses a
// request: each request that the load makes (reading the data file, building the
// function table, registering the console objects) is refused once, in a child process.
// A refusal must end in the runtime's fatal report, never in a memory fault; a load that
// copes must serve its commands and give everything back on unload.
#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/AllocationFailure.h"
#include "support/HostFixture.h"

namespace {

class PluginAllocationFailureTest : public HostTest {};

TEST_F(PluginAllocationFailureTest, EveryRefusalDuringLoadIsFatalOrHandled) {
    StartEngine();
    ASSERT_EQ(host.AddClient("Alice", "VL:0:1001", false), 1);
    const int blocksAtStart = HostTier0_LiveAllocations();
    auto workload = [this, blocksAtStart] {
        if (!host.LoadPlugin(PluginPath())) return false;
        Run("vl_spawn 2");
        bool ok = console.Text() == "player 1 respawned\n";
        host.UnloadPlugin();
        return ok && HostTier0_LiveAllocations() == blocksAtStart && HostVstdlib_Cvar()->Registered().empty();
    };
    std::vector<AllocationFailureRun> runs = RunWithEachAllocationRefused(
        workload, [](const std::string& report) { return report.find("cannot grow to") != std::string::npos; });
    // The data file's blocks and the function table's growth at least.
    EXPECT_GE(runs.size(), 4u);
}

}  // namespace
