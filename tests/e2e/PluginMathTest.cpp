// The plugin's math library after a load in the simulated engine: the tables hold the
// values of Load's arguments, and the host shows the routines picked for the processor
// the runtime reports. The library exports none of this; it is read through the plugin's
// symbol table.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "support/HostFixture.h"
#include "tier0/cpu.h"

namespace {

class PluginMathTest : public HostTest {};

// The tables' rules are the math library's tests; one entry each shows the values Load
// passed: gamma 2.2, texture gamma 2.2, brightness 0, overbright 2.
TEST_F(PluginMathTest, LoadBuildsTheTablesFromItsArguments) {
    StartWithPlugin();
    const CModuleSymbols& symbols = host.PluginSymbols();
    auto* screenRamp = static_cast<const int*>(symbols.Address("screenramp"));
    auto* texEncode = static_cast<const int*>(symbols.Address("texencode"));
    auto* lightmap = static_cast<const unsigned char*>(symbols.Address("lineartolightmap"));
    auto* vertex = static_cast<const float*>(symbols.Address("lineartovertex"));
    ASSERT_TRUE(screenRamp && texEncode && lightmap && vertex);
    EXPECT_EQ(screenRamp[51], 65) << "brightness 0.5 gives 70, gamma 2.0 gives 56";
    EXPECT_EQ(texEncode[512], 186) << "texture gamma 2.0 gives 180";
    EXPECT_EQ(lightmap[1024], 128) << "overbright 2 halves the level";
    EXPECT_EQ(lightmap[4095], 239);
    EXPECT_NEAR(vertex[4095], 0.9389f, 1e-4f);
}

TEST_F(PluginMathTest, HostShowsTheRoutinesPickedForTheProcessor) {
    struct {
        unsigned char features;
        Lines expected;
    } cases[] = {
        {0x00,
         {"processor features 0x00; math library: 3DNow off MMX off SSE off SSE2 off",
          "  pfSqrt                 _sqrtf", "  pfRSqrt                _rsqrtf", "  pfRSqrtFast            _rsqrtf",
          "  pfVectorNormalize      _VectorNormalize", "  pfVectorNormalizeFast  _VectorNormalizeFast",
          "  pfInvRSquared          _InvRSquared", "  pfFastSinCos           SinCos", "  pfFastCos              cosf"}},
        {0x60,
         {"processor features 0x60; math library: 3DNow on MMX on SSE off SSE2 off",
          "  pfSqrt                 _3DNow_Sqrt", "  pfRSqrt                _3DNow_RSqrt",
          "  pfRSqrtFast            _3DNow_RSqrt", "  pfVectorNormalize      _3DNow_VectorNormalize",
          "  pfVectorNormalizeFast  _3DNow_VectorNormalizeFast", "  pfInvRSquared          _3DNow_InvRSquared",
          "  pfFastSinCos           SinCos", "  pfFastCos              cosf"}},
        {0x38,
         {"processor features 0x38; math library: 3DNow on MMX off SSE on SSE2 on",
          "  pfSqrt                 _SSE_Sqrt", "  pfRSqrt                _SSE_RSqrtAccurate",
          "  pfRSqrtFast            _SSE_RSqrtFast", "  pfVectorNormalize      _VectorNormalize",
          "  pfVectorNormalizeFast  _SSE_VectorNormalizeFast", "  pfInvRSquared          _SSE_InvRSquared",
          "  pfFastSinCos           SinCos", "  pfFastCos              cosf"}},
    };
    // The runtime's feature byte follows the record's leading 32-bit word; it is put back
    // afterwards, so later tests in this process see this processor again.
    unsigned char saved;
    memcpy(&saved, reinterpret_cast<const unsigned char*>(GetCPUInformation()) + 4, 1);
    for (const auto& c : cases) {
        HostTier0_SetCPUFeatures(c.features);
        StartWithPlugin();
        EXPECT_EQ(Run("host_mathinfo"), c.expected);
        host.Shutdown();
    }
    HostTier0_SetCPUFeatures(saved);
    EXPECT_EQ(Run("host_mathinfo"), (Lines{"host: no plugin loaded"}));
}

// The host program takes the feature byte from its command line.
TEST(HostProgramMath, CpuFeaturesOptionSetsTheReportedProcessor) {
    const std::string command = std::string(VL_BIN_DIR) + "/vlhost --game " + VL_GAME_DIR +
                                " --cpu-features 0x20 --script /dev/stdin <<< host_mathinfo 2>&1";
    FILE* pipe = popen(("bash -c '" + command + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    EXPECT_NE(text.find("processor features 0x20; math library: 3DNow on MMX off SSE off SSE2 off\n"
                        "  pfSqrt                 _3DNow_Sqrt\n"),
              std::string::npos)
        << text;
}

}  // namespace
