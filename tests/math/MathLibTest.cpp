// The math library's initialisation, tables, lookups and angle routines.
#include "math/mathlib.h"

#include <float.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "host/tier0/HostTier0.h"
#include "support/GammaReference.h"

namespace {

// Processor feature bits of the runtime's record, as the runtime defines them.
const unsigned char kSSE = 0x08, kSSE2 = 0x10, k3DNow = 0x20, kMMX = 0x40;
// Bits the math library must not look at.
const unsigned char kOtherBits = 0x01 | 0x02 | 0x04 | 0x80;

unsigned int Bits(float f) {
    unsigned int bits;
    memcpy(&bits, &f, sizeof(bits));
    return bits;
}

template <typename T, size_t N>
void ExpectTableZero(const T (&table)[N], const char* name) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i] != 0) {
            ADD_FAILURE() << name << "[" << i << "] is " << +table[i] << " before initialisation";
            return;
        }
    }
}

// Runs first in its own process: before MathLib_Init every pointer already works (it is
// constant-initialised to its plain variant), the flags are off and the tables zero.
TEST(MathLibTest, BeforeInitThePointersArePlainAndTheTablesEmpty) {
    EXPECT_EQ(pfSqrt, &_sqrtf);
    EXPECT_EQ(pfRSqrt, &_rsqrtf);
    EXPECT_EQ(pfRSqrtFast, &_rsqrtf);
    EXPECT_EQ(pfVectorNormalize, &_VectorNormalize);
    EXPECT_EQ(pfVectorNormalizeFast, &_VectorNormalizeFast);
    EXPECT_EQ(pfInvRSquared, &_InvRSquared);
    EXPECT_EQ(pfFastSinCos, &SinCos);
    EXPECT_EQ(pfFastCos, &cosf);
    EXPECT_EQ(pfSqrt(16.0f), 4.0f);
    EXPECT_FALSE(MathLib_3DNowEnabled() || MathLib_MMXEnabled() || MathLib_SSEEnabled() || MathLib_SSE2Enabled());
    ExpectTableZero(SinCosTable, "SinCosTable");
    ExpectTableZero(texgammaremap, "texgammaremap");
    ExpectTableZero(screenramp, "screenramp");
    ExpectTableZero(texencode, "texencode");
    ExpectTableZero(texdecode, "texdecode");
    ExpectTableZero(gammaencode22, "gammaencode22");
    ExpectTableZero(gammadecode22, "gammadecode22");
    ExpectTableZero(power2_n, "power2_n");
    ExpectTableZero(lineartovertex, "lineartovertex");
    ExpectTableZero(lineartolightmap, "lineartolightmap");
    // The constants are there from load on.
    EXPECT_EQ(Bits(vec3_invalid.x), 0x7F7FFFFFu);
    EXPECT_EQ(Bits(vec3_invalid.y), 0x7F7FFFFFu);
    EXPECT_EQ(Bits(vec3_invalid.z), 0x7F7FFFFFu);
    EXPECT_TRUE(vec3_origin.x == 0 && vec3_origin.y == 0 && vec3_origin.z == 0);
    EXPECT_TRUE(vec3_angle.x == 0 && vec3_angle.y == 0 && vec3_angle.z == 0);
    EXPECT_EQ(nanmask, 0x7F800000u);
}

// Every combination of the four allow flags against every combination of the four
// feature bits that matter (with the other bits of the byte set and clear).
TEST(MathLibTest, InitSelectsRoutinesByAllowFlagsAndProcessorFeatures) {
    for (int features = 0; features < 32; ++features) {
        unsigned char byte = (features & 1 ? kSSE : 0) | (features & 2 ? kSSE2 : 0) | (features & 4 ? k3DNow : 0) |
                             (features & 8 ? kMMX : 0) | (features & 16 ? kOtherBits : 0);
        HostTier0_SetCPUFeatures(byte);
        for (int allow = 0; allow < 16; ++allow) {
            bool allow3DNow = allow & 1, allowSSE = allow & 2, allowSSE2 = allow & 4, allowMMX = allow & 8;
            // Something stale that Init must reset.
            pfFastCos = nullptr;
            pfFastSinCos = nullptr;
            pfSqrt = nullptr;
            MathLib_Init(2.2f, 2.2f, 0.0f, 2, allow3DNow, allowSSE, allowSSE2, allowMMX);
            SCOPED_TRACE(testing::Message() << "features 0x" << std::hex << +byte << " allow " << allow);

            bool sse = allowSSE && (byte & kSSE);
            bool amd = allow3DNow && (byte & k3DNow);
            EXPECT_EQ(MathLib_SSEEnabled(), sse);
            EXPECT_EQ(MathLib_3DNowEnabled(), amd);
            EXPECT_EQ(MathLib_SSE2Enabled(), allowSSE2 && (byte & kSSE2));
            EXPECT_EQ(MathLib_MMXEnabled(), allowMMX && (byte & kMMX));

            EXPECT_EQ(pfSqrt, sse ? &_SSE_Sqrt : amd ? &_3DNow_Sqrt : &_sqrtf);
            EXPECT_EQ(pfRSqrt, sse ? &_SSE_RSqrtAccurate : amd ? &_3DNow_RSqrt : &_rsqrtf);
            EXPECT_EQ(pfRSqrtFast, sse ? &_SSE_RSqrtFast : amd ? &_3DNow_RSqrt : &_rsqrtf);
            EXPECT_EQ(pfVectorNormalize, sse ? &_VectorNormalize : amd ? &_3DNow_VectorNormalize : &_VectorNormalize);
            EXPECT_EQ(pfVectorNormalizeFast, sse   ? &_SSE_VectorNormalizeFast
                                             : amd ? &_3DNow_VectorNormalizeFast
                                                   : &_VectorNormalizeFast);
            EXPECT_EQ(pfInvRSquared, sse ? &_SSE_InvRSquared : amd ? &_3DNow_InvRSquared : &_InvRSquared);
            EXPECT_EQ(pfFastSinCos, &SinCos);
            EXPECT_EQ(pfFastCos, &cosf);
            if (HasFailure()) return;
        }
    }
}

// The Part's own example: without SSE permission a 3DNow processor gets the 3DNow
// normalisation; with SSE present and allowed it is the plain one. Whatever is selected
// runs on this processor.
TEST(MathLibTest, SelectedRoutinesRunOnThisProcessor) {
    HostTier0_SetCPUFeatures(kSSE | k3DNow);
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, false, true, true);
    EXPECT_EQ(pfVectorNormalize, &_3DNow_VectorNormalize);
    Vector v = {0.0f, 3.0f, 4.0f};
    EXPECT_NEAR(pfVectorNormalize(v), 5.0f, 5.0f * 4e-4f);
    EXPECT_NEAR(v.y, 0.6f, 4e-4f);
    EXPECT_NEAR(pfSqrt(2.0f), 1.41421356f, 1e-3f);
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, true, true, true);
    EXPECT_EQ(pfVectorNormalize, &_VectorNormalize);
    EXPECT_EQ(pfSqrt(2.0f), sqrtf(2.0f));
}

struct GammaArgs {
    float gamma, texGamma, brightness;
    int overbright;
};

template <typename T, typename U, size_t N>
void ExpectSameTable(const T (&actual)[N], const U (&expected)[N], const char* name) {
    for (size_t i = 0; i < N; ++i) {
        if (memcmp(&actual[i], &expected[i], sizeof(T)) != 0) {
            ADD_FAILURE() << name << "[" << i << "] is " << +actual[i] << ", expected " << +expected[i];
            return;
        }
    }
}

void ExpectTablesMatchReference(const GammaArgs& a) {
    SCOPED_TRACE(testing::Message() << "gamma " << a.gamma << " texGamma " << a.texGamma << " brightness "
                                    << a.brightness << " overbright " << a.overbright);
    static GammaReference ref;
    gamma_reference::Build(ref, a.gamma, a.texGamma, a.brightness, a.overbright);
    ExpectSameTable(SinCosTable, ref.sinCos, "SinCosTable");
    ExpectSameTable(texgammaremap, ref.texGammaRemap, "texgammaremap");
    ExpectSameTable(screenramp, ref.screenRamp, "screenramp");
    ExpectSameTable(texencode, ref.texEncode, "texencode");
    ExpectSameTable(texdecode, ref.texDecode, "texdecode");
    ExpectSameTable(gammaencode22, ref.gammaEncode22, "gammaencode22");
    ExpectSameTable(gammadecode22, ref.gammaDecode22, "gammadecode22");
    ExpectSameTable(power2_n, ref.power2N, "power2_n");
    ExpectSameTable(lineartovertex, ref.linearToVertex, "lineartovertex");
    ExpectSameTable(lineartolightmap, ref.linearToLightmap, "lineartolightmap");
}

// Whole tables, bit for bit, against the plain computation, over arguments that take
// every branch: the gamma cap at 3, each toe rule, each overbright factor.
TEST(MathLibTest, InitBuildsEveryTableFromItsArguments) {
    const GammaArgs cases[] = {
        {2.2f, 2.2f, 0.0f, 2},  {5.0f, 1.8f, 0.5f, 4}, {1.0f, 2.5f, 1.5f, 1},    {3.0f, 1.0f, 1.0f, 3},
        {0.8f, 0.6f, -1.0f, 2}, {2.0f, 3.3f, 0.2f, 0}, {3.0001f, 2.2f, 2.5f, 4},
    };
    for (const GammaArgs& a : cases) {
        MathLib_Init(a.gamma, a.texGamma, a.brightness, a.overbright, true, true, true, true);
        ExpectTablesMatchReference(a);
    }
    // Calling the builders directly gives the same, and each builds only its tables.
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, true, true, true);
    memset(SinCosTable, 0, sizeof(SinCosTable));
    memset(power2_n, 0, sizeof(power2_n));
    BuildExponentTable();
    EXPECT_EQ(SinCosTable[64], 0.0f) << "BuildExponentTable touched the sine table";
    InitSinCosTable();
    ExpectTablesMatchReference({2.2f, 2.2f, 0.0f, 2});
    BuildGammaTable(1.0f, 2.5f, 1.5f, 1);
    ExpectTablesMatchReference({1.0f, 2.5f, 1.5f, 1});
}

TEST(MathLibTest, TablesHoldThePinnedValues) {
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, true, true, true);
    EXPECT_EQ(SinCosTable[0], 0.0f);
    EXPECT_EQ(SinCosTable[64], 1.0f);
    EXPECT_EQ(SinCosTable[192], -1.0f);
    EXPECT_EQ(lineartolightmap[0], 0);
    EXPECT_EQ(lineartolightmap[1024], 128) << "1.0 * 255 * 0.5 = 127.5 rounds to the even 128";
    EXPECT_EQ(lineartolightmap[4095], 239);
    EXPECT_EQ(lineartovertex[1024], 0.5f);
    EXPECT_NEAR(lineartovertex[4095], 0.9389f, 1e-4f);
    EXPECT_EQ(screenramp[0], 0);
    EXPECT_EQ(screenramp[1023], 255);
    EXPECT_EQ(texgammaremap[255], 255);
    EXPECT_EQ(texencode[1023], 255);
    EXPECT_EQ(gammadecode22[255], 1.0f);
    EXPECT_EQ(power2_n[128], 1.0f / 255.0f);
    // The two exponents are 1/2.2 and 2.2 in float precision.
    EXPECT_EQ(gammaencode22[51], static_cast<float>(pow(0.2000000029802322, 0.45454543828964233)));
    EXPECT_EQ(gammadecode22[51], static_cast<float>(pow(0.2000000029802322, 2.200000047683716)));

    // Overbright 4 and 1: a quarter and the whole of the level; the vertex level caps at 1.
    MathLib_Init(2.2f, 2.2f, 0.0f, 4, true, true, true, true);
    EXPECT_EQ(lineartolightmap[1024], 64);
    EXPECT_EQ(lineartovertex[1024], 0.25f);
    MathLib_Init(2.2f, 2.2f, 0.0f, 1, true, true, true, true);
    EXPECT_EQ(lineartolightmap[1024], 255);
    EXPECT_EQ(lineartolightmap[4095], 255);
    EXPECT_EQ(lineartovertex[4095], 1.0f);
}

// A gamma above 3 is capped for the screen and texture tables only.
TEST(MathLibTest, GammaAboveThreeIsCappedForScreenTablesOnly) {
    MathLib_Init(3.0f, 2.2f, 0.0f, 2, true, true, true, true);
    unsigned char remap3[256];
    int ramp3[1024];
    memcpy(remap3, texgammaremap, sizeof(remap3));
    memcpy(ramp3, screenramp, sizeof(ramp3));
    float vertex3 = lineartovertex[2048];
    MathLib_Init(5.0f, 2.2f, 0.0f, 2, true, true, true, true);
    EXPECT_EQ(memcmp(remap3, texgammaremap, sizeof(remap3)), 0);
    EXPECT_EQ(memcmp(ramp3, screenramp, sizeof(ramp3)), 0);
    EXPECT_NE(lineartovertex[2048], vertex3);
    EXPECT_EQ(lineartovertex[2048], static_cast<float>(pow(2.0, 1.0 / 5.0) * 0.5));
    EXPECT_EQ(lineartolightmap[4095], static_cast<int>(nearbyint(pow(4095 / 1024.0, 0.2) * 255 * 0.5)));
}

TEST(MathLibTest, LookupsClampTheirIndex) {
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, true, true, true);
    EXPECT_EQ(GammaToLinearFullRange(0.5f), static_cast<float>(pow(0.5, 2.200000047683716)));
    EXPECT_EQ(LinearToGammaFullRange(4.0f), static_cast<float>(pow(4.0, 0.45454543828964233)));
    EXPECT_EQ(static_cast<double>(1.0f / 2.2f), 0.45454543828964233);

    // Entries that name their own index, so that an index off by one shows.
    for (int i = 0; i < 1024; ++i) {
        texencode[i] = i;
        screenramp[i] = 5000 + i;
    }
    for (int i = 0; i < 256; ++i) {
        texdecode[i] = static_cast<float>(i);
        gammaencode22[i] = static_cast<float>(1000 + i);
        gammadecode22[i] = static_cast<float>(2000 + i);
    }
    EXPECT_EQ(TextureToLinear(-1), 0.0f);
    EXPECT_EQ(TextureToLinear(0), 0.0f);
    EXPECT_EQ(TextureToLinear(1), 1.0f);
    EXPECT_EQ(TextureToLinear(255), 255.0f);
    EXPECT_EQ(TextureToLinear(256), 1.0f);
    EXPECT_EQ(TextureToLinear(-2147483647 - 1), 0.0f);

    struct {
        float f;
        int index;
    } linear[] = {{-0.5f, 0},  {NAN, 0},         {-0.0f, 0},   {0.9f / 1023, 0}, {1.0f / 1023, 1},
                  {0.5f, 511}, {0.99999f, 1022}, {1.0f, 1023}, {2.0f, 1023},     {INFINITY, 1023}};
    for (const auto& c : linear) {
        EXPECT_EQ(LinearToTexture(c.f), c.index) << c.f;
        EXPECT_EQ(LinearToScreenGamma(c.f), 5000 + c.index) << c.f;
    }

    EXPECT_EQ(GammaToLinear(-0.01f), 0.0f);
    EXPECT_EQ(GammaToLinear(NAN), 0.0f);
    EXPECT_EQ(GammaToLinear(0.0f), 2000.0f);
    EXPECT_EQ(GammaToLinear(0.95f), 1.0f);
    EXPECT_EQ(GammaToLinear(nextafterf(0.95f, 0.0f)), 2242.0f);  // 242.25 rounds down
    EXPECT_EQ(GammaToLinear(0.5f), 2128.0f) << "127.5 rounds to the even 128";
    EXPECT_EQ(LinearToGamma(-0.01f), 0.0f);
    EXPECT_EQ(LinearToGamma(NAN), 0.0f);
    EXPECT_EQ(LinearToGamma(0.0f), 1000.0f);
    EXPECT_EQ(LinearToGamma(1.0f), 1255.0f);
    EXPECT_EQ(LinearToGamma(nextafterf(1.0f, 2.0f)), 1.0f);
    // Halves go to the even index.
    float tie = 1.5f / 255.0f;
    ASSERT_EQ(tie * 255.0f, 1.5f);
    EXPECT_EQ(LinearToGamma(tie), 1002.0f);
    EXPECT_EQ(LinearToGamma(nextafterf(tie, 0.0f)), 1001.0f);
    float tie2 = 2.5f / 255.0f;
    ASSERT_EQ(tie2 * 255.0f, 2.5f);
    EXPECT_EQ(GammaToLinear(tie2), 2002.0f);
    EXPECT_EQ(GammaToLinear(nextafterf(tie2, 1.0f)), 2003.0f);
}

// The plain variants are exact in float: the x87 root equals the correctly rounded one.
TEST(MathLibTest, PlainRoutinesAreExact) {
    const float values[] = {0.0f, 1e-45f, 1e-38f, 0.25f, 2.0f, 3.0f, 10.0f, 12345.678f, 1e38f, FLT_MAX, INFINITY};
    for (float x : values) {
        EXPECT_EQ(Bits(_sqrtf(x)), Bits(sqrtf(x))) << x;
        EXPECT_EQ(Bits(_SSE_Sqrt(x)), Bits(sqrtf(x))) << x;
        EXPECT_EQ(Bits(_rsqrtf(x)), Bits(1.0f / sqrtf(x))) << x;
    }
    for (unsigned int bits = 0x00000001u; bits < 0x7F800000u; bits += 0x00F0F0F1u) {
        float x;
        memcpy(&x, &bits, sizeof(x));
        ASSERT_EQ(Bits(_sqrtf(x)), Bits(sqrtf(x))) << x;
    }
    EXPECT_TRUE(isnan(_sqrtf(-1.0f)));

    Vector v = {3.0f, 4.0f, 0.0f};
    EXPECT_EQ(_VectorNormalize(v), 5.0f);
    float scale = 1.0f / (5.0f + 1.1920929e-7f);
    EXPECT_EQ(Bits(v.x), Bits(3.0f * scale));
    EXPECT_EQ(Bits(v.y), Bits(4.0f * scale));
    Vector zero = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(_VectorNormalize(zero), 0.0f);
    EXPECT_TRUE(zero.x == 0 && zero.y == 0 && zero.z == 0);
    Vector fast = {1.0f, 2.0f, 2.0f};
    _VectorNormalizeFast(fast);
    EXPECT_EQ(Bits(fast.z), Bits(2.0f * (1.0f / (3.0f + 1.1920929e-7f))));

    const float half[] = {0.5f, 0.0f, 0.0f}, unit[] = {0.0f, 1.0f, 0.0f}, two[] = {0.0f, 0.0f, 2.0f},
                justBelow[] = {0.99999994f, 0.0f, 0.0f}, five[] = {3.0f, 0.0f, 4.0f};
    EXPECT_EQ(_InvRSquared(half), 1.0f);
    EXPECT_EQ(_InvRSquared(justBelow), 1.0f);
    EXPECT_EQ(_InvRSquared(unit), 1.0f);
    EXPECT_EQ(_InvRSquared(two), 0.25f);
    EXPECT_EQ(_InvRSquared(five), 1.0f / 25.0f);
}

// The estimate variants hold the precision of the estimate instructions.
TEST(MathLibTest, EstimateRoutinesHoldTheirPrecision) {
    const double estimate = 1.5 / 4096;  // relative error bound of an estimate
    const float values[] = {1e-30f, 0.01f, 0.5f, 1.0f, 2.0f, 7.0f, 1000.0f, 1e30f};
    for (float x : values) {
        double root = sqrt(static_cast<double>(x));
        EXPECT_NEAR(_SSE_RSqrtFast(x) * root, 1.0, estimate) << x;
        EXPECT_NEAR(_SSE_RSqrtAccurate(x) * root, 1.0, 1e-6) << x;
        EXPECT_NEAR(_3DNow_Sqrt(x) / root, 1.0, estimate + 1e-7) << x;
        EXPECT_NEAR(_3DNow_RSqrt(x) * root, 1.0, 2 * estimate) << x;
    }
    // No infinities from the 3DNow estimates: the root of 0 is 0.
    EXPECT_EQ(_3DNow_Sqrt(0.0f), 0.0f);
    EXPECT_EQ(_3DNow_RSqrt(0.0f), INFINITY);
    EXPECT_EQ(_SSE_RSqrtFast(0.0f), INFINITY);

    Vector v = {3.0f, 0.0f, 4.0f};
    EXPECT_NEAR(_3DNow_VectorNormalize(v), 5.0f, 5.0f * estimate);
    EXPECT_NEAR(v.x, 0.6f, 0.6f * estimate);
    EXPECT_NEAR(v.z, 0.8f, 0.8f * estimate);
    Vector same = {3.0f, 0.0f, 4.0f}, viaFast = {3.0f, 0.0f, 4.0f};
    _3DNow_VectorNormalize(same);
    _3DNow_VectorNormalizeFast(viaFast);
    EXPECT_EQ(memcmp(&same, &viaFast, sizeof(same)), 0);
    Vector zero = {0.0f, -0.0f, 0.0f};
    EXPECT_EQ(_3DNow_VectorNormalize(zero), 0.0f);
    EXPECT_EQ(Bits(zero.y), 0x80000000u) << "an exactly-zero vector is left alone";

    Vector sse = {0.0f, 3.0f, 4.0f};
    _SSE_VectorNormalizeFast(sse);
    EXPECT_NEAR(sse.y, 0.6f, 1e-6f);
    EXPECT_NEAR(sse.z, 0.8f, 1e-6f);
    Vector sseZero = {0.0f, 0.0f, 0.0f};
    _SSE_VectorNormalizeFast(sseZero);
    EXPECT_TRUE(sseZero.x == 0 && sseZero.y == 0 && sseZero.z == 0);
    Vector sseNormal = {0.0f, 3.0f, 4.0f};
    EXPECT_EQ(_SSE_VectorNormalize(sseNormal), 5.0f);
    EXPECT_NEAR(sseNormal.z, 0.8f, 0.8f * estimate);
    Vector sseNormalZero = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(_SSE_VectorNormalize(sseNormalZero), 0.0f);
    EXPECT_TRUE(sseNormalZero.x == 0 && sseNormalZero.y == 0 && sseNormalZero.z == 0);

    const float half[] = {0.5f, 0.0f, 0.0f}, two[] = {0.0f, 2.0f, 0.0f}, nothing[] = {0.0f, 0.0f, 0.0f};
    EXPECT_NEAR(_SSE_InvRSquared(half), 1.0f, estimate) << "r² is raised to 1";
    EXPECT_NEAR(_SSE_InvRSquared(two), 0.25f, 0.25f * estimate);
    EXPECT_NEAR(_3DNow_InvRSquared(half), 4.0f, 4.0f * estimate) << "no lower bound";
    EXPECT_NEAR(_3DNow_InvRSquared(two), 0.25f, 0.25f * estimate);
    EXPECT_EQ(_3DNow_InvRSquared(nothing), FLT_MAX);
}

TEST(MathLibTest, VectorAnglesGivesPitchAndYawInDegrees) {
    struct Case {
        Vector forward;
        float pitch, yaw;
    } cases[] = {
        {{0, 0, 1}, 270, 0}, {{0, 0, -1}, 90, 0},  {{0, 0, 0}, 90, 0},    {{1, 0, 0}, 0, 0},
        {{0, 1, 0}, 0, 90},  {{-1, 0, 0}, 0, 180}, {{0, -1, 0}, 0, 270},  {{1, 0, -1}, 45, 0},
        {{1, 0, 1}, 315, 0}, {{1, 1, 0}, 0, 45},   {{-1, -1, 0}, 0, 225}, {{0, 5, 5}, 315, 90},
    };
    for (const Case& c : cases) {
        QAngle a = {7, 7, 7};
        VectorAngles(c.forward, a);
        EXPECT_NEAR(a.x, c.pitch, 1e-4) << c.forward.x << " " << c.forward.y << " " << c.forward.z;
        EXPECT_NEAR(a.y, c.yaw, 1e-4) << c.forward.x << " " << c.forward.y << " " << c.forward.z;
        EXPECT_EQ(a.z, 0.0f);
        const float in[3] = {c.forward.x, c.forward.y, c.forward.z};
        float out[3] = {7, 7, 7};
        VectorAngles(in, out);
        EXPECT_EQ(memcmp(out, &a, sizeof(out)), 0) << "both forms agree";
    }
    // Bit for bit: double atan2 and scaling, stored as float.
    QAngle a;
    VectorAngles(Vector{0.3f, -0.7f, 0.2f}, a);
    EXPECT_EQ(Bits(a.y), Bits(static_cast<float>(atan2(-0.699999988079071, 0.30000001192092896) * 180 / M_PI) + 360));
    // Round trip through AngleVectors.
    for (float pitch = -80; pitch <= 80; pitch += 20) {
        for (float yaw = 0; yaw < 360; yaw += 45) {
            Vector f;
            AngleVectors(QAngle{pitch, yaw, 0}, &f);
            VectorAngles(f, a);
            EXPECT_NEAR(AngleNormalize(a.x - pitch), 0, 1e-3) << pitch << " " << yaw;
            EXPECT_NEAR(AngleNormalize(a.y - yaw), 0, 1e-3) << pitch << " " << yaw;
        }
    }
}

TEST(MathLibTest, AngleNormalizeKeepsAnglesInRange) {
    struct {
        float in, centred, positive;
    } cases[] = {
        {0, 0, 0},        {180, 180, 180},   {-180, -180, 180}, {540, 180, 180}, {-190, 170, 170},     {181, -179, 181},
        {-181, 179, 179}, {359, -1, 359},    {360, 0, 0},       {720, 0, 0},     {725.5f, 5.5f, 5.5f}, {-1, -1, 359},
        {-359, 1, 1},     {-540, -180, 180},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AngleNormalize(c.in), c.centred) << c.in;
        EXPECT_EQ(AngleNormalizePositive(c.in), c.positive) << c.in;
    }
    // A remainder just below 0 does not round up to a whole turn.
    EXPECT_EQ(AngleNormalizePositive(-1e-6f), 0.0f);
    EXPECT_EQ(AngleNormalizePositive(-3e-5f), 360.0f - 3.0517578e-05f);
    EXPECT_LT(AngleNormalizePositive(-3e-5f), 360.0f);
}

// The x87 sine-cosine: results within one float step of the double-precision library's,
// and exactly the values the tables pin.
TEST(MathLibTest, SinCosMatchesTheLibraryToTheFloatStep) {
    const float angles[] = {0.0f, 1e-30f, 0.5f, -0.5f, 1.5707964f, 3.1415927f, -3.1415927f, 100.0f, -1234.5f, 1e6f};
    for (float a : angles) {
        float s = -7, c = -7;
        SinCos(a, &s, &c);
        EXPECT_NEAR(s, sin(static_cast<double>(a)), 1e-7 + 6e-8 * fabs(sin(static_cast<double>(a)))) << a;
        EXPECT_NEAR(c, cos(static_cast<double>(a)), 1e-7 + 6e-8 * fabs(cos(static_cast<double>(a)))) << a;
    }
    float s, c;
    SinCos(0.0f, &s, &c);
    EXPECT_EQ(Bits(s), 0u);
    EXPECT_EQ(c, 1.0f);
    // Beyond the instruction's range the library answers; NaN stays NaN.
    SinCos(1e30f, &s, &c);
    EXPECT_EQ(s, static_cast<float>(sin(static_cast<double>(1e30f))));
    EXPECT_EQ(c, static_cast<float>(cos(static_cast<double>(1e30f))));
    SinCos(INFINITY, &s, &c);
    EXPECT_TRUE(isnan(s) && isnan(c));
    SinCos(NAN, &s, &c);
    EXPECT_TRUE(isnan(s) && isnan(c));
    // The x87 stack is left balanced: a float returned through st(0) still arrives.
    for (int i = 0; i < 20; ++i) SinCos(1e30f, &s, &c);
    EXPECT_EQ(_sqrtf(4.0f), 2.0f);
}

TEST(MathLibTest, AngleVectorsTurnsAnglesIntoDirections) {
    struct Case {
        QAngle angles;
        Vector forward;
    } cases[] = {
        {{0, 0, 0}, {1, 0, 0}},
        {{0, 90, 0}, {0, 1, 0}},
        {{90, 0, 0}, {0, 0, -1}},
        {{-90, 0, 0}, {0, 0, 1}},
        {{0, 180, 0}, {-1, 0, 0}},
        {{0, -90, 0}, {0, -1, 0}},
        {{45, 45, 0}, {0.5f, 0.5f, -0.70710677f}},
    };
    for (const Case& c : cases) {
        Vector f = {9, 9, 9};
        AngleVectors(c.angles, &f);
        EXPECT_NEAR(f.x, c.forward.x, 1e-6) << c.angles.x << " " << c.angles.y;
        EXPECT_NEAR(f.y, c.forward.y, 1e-6) << c.angles.x << " " << c.angles.y;
        EXPECT_NEAR(f.z, c.forward.z, 1e-6) << c.angles.x << " " << c.angles.y;
    }
}

// Bit for bit: the radians come from the float constant 0.017453292 and one SinCos per
// angle, the products are float in the stated order.
TEST(MathLibTest, AngleVectorsIsExactToTheBit) {
    const QAngle angles[] = {{12.5f, -33.25f, 71.0f}, {-80.0f, 190.0f, -5.5f}, {0.1f, 359.9f, 180.0f}};
    for (const QAngle& a : angles) {
        float sp, cp, sy, cy, sr, cr;
        SinCos(a.x * 0.017453292f, &sp, &cp);
        SinCos(a.y * 0.017453292f, &sy, &cy);
        SinCos(a.z * 0.017453292f, &sr, &cr);
        Vector f, r, u, f1;
        AngleVectors(a, &f, &r, &u);
        AngleVectors(a, &f1);
        EXPECT_EQ(Bits(f.x), Bits(cp * cy));
        EXPECT_EQ(Bits(f.y), Bits(cp * sy));
        EXPECT_EQ(Bits(f.z), Bits(-sp));
        EXPECT_EQ(memcmp(&f, &f1, sizeof(f)), 0);
        EXPECT_EQ(Bits(r.x), Bits(cr * sy - sr * sp * cy));
        EXPECT_EQ(Bits(r.y), Bits(-sr * sp * sy - cr * cy));
        EXPECT_EQ(Bits(r.z), Bits(-sr * cp));
        EXPECT_EQ(Bits(u.x), Bits(sr * sy + cr * sp * cy));
        EXPECT_EQ(Bits(u.y), Bits(cr * sp * sy - sr * cy));
        EXPECT_EQ(Bits(u.z), Bits(cr * cp));
    }
    // 0.017453292 is the float with these bits.
    EXPECT_EQ(Bits(0.017453292f), 0x3C8EFA35u);
}

TEST(MathLibTest, AngleVectorsSkipsNullOutputsAndBuildsAnOrthonormalFrame) {
    QAngle a = {30.0f, 60.0f, 45.0f};
    Vector f, r, u;
    AngleVectors(a, &f, &r, &u);
    Vector onlyRight = {7, 7, 7}, onlyUp = {8, 8, 8};
    AngleVectors(a, nullptr, &onlyRight, nullptr);
    AngleVectors(a, nullptr, nullptr, &onlyUp);
    EXPECT_EQ(memcmp(&onlyRight, &r, sizeof(r)), 0);
    EXPECT_EQ(memcmp(&onlyUp, &u, sizeof(u)), 0);
    auto dot = [](const Vector& p, const Vector& q) { return p.x * q.x + p.y * q.y + p.z * q.z; };
    EXPECT_NEAR(dot(f, r), 0, 1e-6);
    EXPECT_NEAR(dot(f, u), 0, 1e-6);
    EXPECT_NEAR(dot(r, u), 0, 1e-6);
    EXPECT_NEAR(dot(r, r), 1, 1e-6);
    EXPECT_NEAR(dot(u, u), 1, 1e-6);
    // No roll: right is horizontal and points to the right of forward (yaw 0: -y).
    AngleVectors(QAngle{0, 0, 0}, &f, &r, &u);
    EXPECT_NEAR(r.y, -1.0f, 1e-7);
    EXPECT_NEAR(u.z, 1.0f, 1e-7);
}

}  // namespace
