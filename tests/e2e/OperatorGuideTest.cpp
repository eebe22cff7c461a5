// The operator's guide that the install step ships names every console command and
// variable the plugin registers, so that a new one cannot go out undocumented.
#include <fstream>
#include <sstream>
#include <string>

#include "host/engine/ConsoleObjects.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/HostFixture.h"

namespace {

class OperatorGuideTest : public HostTest {};

TEST_F(OperatorGuideTest, NamesEveryRegisteredConsoleObject) {
    std::ifstream in(VL_SOURCE_DIR "/docs/operator-guide.md");
    ASSERT_TRUE(in) << "docs/operator-guide.md is missing";
    std::stringstream text;
    text << in.rdbuf();
    const std::string guide = text.str();
    StartWithPlugin();
    ASSERT_FALSE(HostVstdlib_Cvar()->Registered().empty());
    for (ConCommandBase* object : HostVstdlib_Cvar()->Registered()) {
        const std::string name = ConsoleObjectName(object);
        EXPECT_NE(guide.find("| `" + name), std::string::npos) << name << " has no row in the guide";
    }
}

}  // namespace
