// The general layers when the runtime allocator refuses a request: every request of each
// workload is refused once, in a child process. Container growth is fatal by design (one
// report through Error, before any memory is touched); buffer growth and scratch space
// fail softly (error bits or a false result), with the data kept and nothing leaked.
#include <gtest/gtest.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/AllocationFailure.h"
#include "support/MemoryFileSystem.h"
#include "tier1/Convar.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

bool IsGrowthFailure(const std::string& report) {
    return report.find("CUtlMemory") != std::string::npos || report.find("CUtlVector") != std::string::npos;
}

std::string DemoDataFile() {
    std::ifstream in(std::string(VL_SOURCE_DIR) + "/demo/addons/vorlane/sigscan_info.dat", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `workload` with each request refused; returns how many runs ended fatally and how
// many softly, failing the test on any fault.
std::pair<int, int> Drive(const std::function<bool()>& workload) {
    std::vector<AllocationFailureRun> runs = RunWithEachAllocationRefused(workload, IsGrowthFailure);
    int fatal = 0, soft = 0;
    for (const AllocationFailureRun& run : runs) {
        if (run.fatal) ++fatal;
        if (!run.fatal && run.report.empty()) ++soft;
    }
    return {fatal, soft};
}

TEST(AllocationFailureTest, LoadingTheDemoDataFileSurvivesEveryRefusal) {
    const std::string demo = DemoDataFile();
    ASSERT_NE(demo.find("CCSPlayer::RoundRespawn"), std::string::npos);
    // The demo file, and the same blocks spread over three included files.
    MemoryFileSystem fs;
    fs.files["addons/vorlane/sigscan_info.dat"] = demo;
    fs.files["addons/vorlane/main.dat"] = "#include a.dat\n#include b.dat\n#include c.dat\n" + demo;
    for (const char* name : {"a", "b", "c"}) fs.files["addons/vorlane/" + std::string(name) + ".dat"] = demo;
    for (const char* file : {"addons/vorlane/sigscan_info.dat", "addons/vorlane/main.dat"}) {
        SCOPED_TRACE(file);
        auto workload = [&fs, file] {
            const int blocks = HostTier0_LiveAllocations(), nodes = HostVstdlib_LiveKeyValues();
            KeyValues* kv = new KeyValues("kdadmin_sigs");
            bool ok = kv->LoadFromFile(&fs, file);
            ok = ok && kv->GetInt("default/sigscan/CCSPlayer::RoundRespawn/enabled") == 1 &&
                 strcmp(kv->GetString("default/sigscan/CCSPlayer::SwitchTeam/symbol"), "GameSwitchTeam") == 0;
            kv->deleteThis();
            return ok && HostTier0_LiveAllocations() == blocks && HostVstdlib_LiveKeyValues() == nodes &&
                   fs.openFiles == 0 && fs.liveBuffers == 0;
        };
        std::pair<int, int> ends = Drive(workload);
        // The list of included roots at least needs memory; whatever else the reader
        // asks for, every refusal ends fatally or leaves a whole, correct tree.
        if (strcmp(file, "addons/vorlane/main.dat") == 0) {
            EXPECT_GT(ends.first + ends.second, 0);
        }
    }
}

TEST(AllocationFailureTest, CopyingATreeIsFatalAtEveryRequest) {
    auto workload = [] {
        const int blocks = HostTier0_LiveAllocations(), nodes = HostVstdlib_LiveKeyValues();
        KeyValues* root = new KeyValues("root");
        // Deep enough that the copy's stack of open levels grows more than once.
        std::string path = "a";
        for (int i = 0; i < 40; ++i) path += "/l" + std::to_string(i);
        root->FindKey(path.c_str(), true)->SetString("leaf", "deep");
        root->SetInt("n", 7);
        KeyValues* copy = root->MakeCopy();
        KeyValues* target = new KeyValues("target");
        root->CopySubkeys(target);
        bool ok = strcmp(copy->GetString((path + "/leaf").c_str()), "deep") == 0 && copy->GetInt("n") == 7 &&
                  strcmp(target->GetString((path + "/leaf").c_str()), "deep") == 0;
        copy->deleteThis();
        target->deleteThis();
        root->deleteThis();
        return ok && HostTier0_LiveAllocations() == blocks && HostVstdlib_LiveKeyValues() == nodes;
    };
    std::pair<int, int> ends = Drive(workload);
    EXPECT_GE(ends.first, 4) << "at least two growths of the stack in each of the two copies";
    EXPECT_EQ(ends.second, 0);
}

TEST(AllocationFailureTest, BufferGrowthFailsSoftlyKeepingWhatWasWritten) {
    // Writes a growing sequence of pieces; whichever growth is refused, the buffer keeps
    // every piece written before it, holds the put position, refuses later writes and
    // still frees its memory.
    auto workload = [] {
        const int blocks = HostTier0_LiveAllocations();
        bool ok = true;
        {
            CUtlBuffer buf(0, 0, CUtlBuffer::BUFFER_TEXT);
            std::string expected;
            for (int i = 0; i < 12 && buf.IsValid(); ++i) {
                std::string piece(static_cast<size_t>(1) << i, static_cast<char>('a' + i));
                int before = buf.TellPut();
                buf.PutString(piece.c_str());
                if (buf.IsValid()) {
                    expected += piece;
                } else {
                    ok = ok && buf.TellPut() == before;
                }
            }
            ok = ok && buf.TellPut() == static_cast<int>(expected.size()) &&
                 memcmp(buf.Base(), expected.data(), expected.size()) == 0;
            if (!buf.IsValid()) {
                buf.PutChar('x');
                ok = ok && buf.TellPut() == static_cast<int>(expected.size());
            }
        }
        {
            // A borrowed block that may be replaced by owned memory: moving onto the heap
            // and the growth after it.
            char external[16];
            CUtlBuffer buf(external, sizeof(external), CUtlBuffer::BUFFER_EXTERNAL_GROWABLE);
            std::string text(100, 'q');
            buf.Put(text.data(), static_cast<int>(text.size()));
            ok = ok && (buf.IsValid() ? buf.TellPut() == 100 && memcmp(buf.Base(), text.data(), 100) == 0
                                      : buf.TellPut() == 0 && buf.Base() == external);
        }
        {
            // A number longer than the parser's local scratch takes heap scratch; refused,
            // the read fails without moving the get position.
            std::string digits = std::string(80, '0') + "42";
            CUtlBuffer buf(digits.data(), static_cast<int>(digits.size()),
                           CUtlBuffer::BUFFER_TEXT | CUtlBuffer::BUFFER_READ_ONLY);
            int value = -1;
            int read = buf.Scanf("%d", &value);
            ok = ok && (read == 1 ? value == 42 : buf.TellGet() == 0);
        }
        return ok && HostTier0_LiveAllocations() == blocks;
    };
    std::pair<int, int> ends = Drive(workload);
    EXPECT_EQ(ends.first, 0) << "buffer memory never fails fatally";
    EXPECT_GE(ends.second, 8);
}

// Registers like the plugin's accessor, into the host console.
struct HostAccessor : IConCommandBaseAccessor {
    bool RegisterConCommandBase(ConCommandBase* object) override {
        object->AddFlags(0x40000);
        object->SetNext(nullptr);
        HostVstdlib_Cvar()->RegisterConCommandBase(object);
        return true;
    }
};

int g_dispatched = 0;
void CountDispatch() { ++g_dispatched; }

TEST(AllocationFailureTest, ConsoleRegistrationNeedsNoRuntimeMemory) {
    // Console objects keep their values in array-new strings, so creating, registering,
    // setting and dispatching them make no request of the runtime allocator, and no
    // refusal there can reach them. The driver's clean run counts the requests.
    auto workload = [] {
        HostAccessor accessor;
        ConVar variable("reliab_var", "1", 0, "help");
        ConCommand command("reliab_cmd", CountDispatch, "help");
        ConCommandBaseMgr::OneTimeInit(&accessor);
        ConVar late("reliab_late", "x", 0);
        variable.SetValue("a much longer value than the default");
        command.Dispatch();
        return HostVstdlib_Cvar()->Registered().size() >= 3 && g_dispatched == 1 &&
               strcmp(variable.GetString(), "a much longer value than the default") == 0 && late.IsRegistered();
    };
    int requests = -1;
    AllocationFailureRun clean = RunWithAllocationRefused(workload, 0, &requests);
    EXPECT_TRUE(clean.report.empty()) << clean.report;
    EXPECT_EQ(requests, 0);
}

}  // namespace
