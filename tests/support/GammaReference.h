// An independent, plain double-precision computation of the math library's tables, for
// comparing whole tables. Written from the table rules, sharing no code with the library:
// doubles throughout, except the per-byte float intensity of the texture/gamma tables.
#pragma once

#include <math.h>

struct GammaReference {
    float sinCos[256];
    unsigned char texGammaRemap[256];
    int screenRamp[1024];
    int texEncode[1024];
    float texDecode[256];
    float gammaEncode22[256];
    float gammaDecode22[256];
    float power2N[256];
    float linearToVertex[4096];
    unsigned char linearToLightmap[4096];
};

namespace gamma_reference {

inline int ClampToByte(double truncated) {
    if (truncated < 0) return 0;
    if (truncated > 255) return 255;
    return static_cast<int>(truncated);
}

// Round to nearest with halves to the even neighbour, by hand.
inline double RoundHalfEven(double x) {
    double below = floor(x);
    double rest = x - below;
    if (rest > 0.5) return below + 1;
    if (rest < 0.5) return below;
    return fmod(below, 2.0) == 0 ? below : below + 1;
}

inline void Build(GammaReference& t, double gamma, double texGamma, double brightness, int overbright) {
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 256; ++i) t.sinCos[i] = static_cast<float>(sin(2.0 * pi * i / 256.0));

    double g = gamma > 3.0 ? 3.0 : gamma;
    double toe = brightness <= 0 ? 0.125 : (brightness <= 1 ? 0.125 - 0.075 * brightness * brightness : 0.05);
    for (int i = 0; i < 256; ++i) {
        t.texGammaRemap[i] = static_cast<unsigned char>(ClampToByte(trunc(255.0 * pow(i / 255.0, texGamma / g))));
    }
    for (int i = 0; i < 1024; ++i) {
        double f = i / 1023.0;
        if (brightness > 1) f = f * brightness;
        double shaped = f <= toe ? f / toe * 0.125 : 0.125 + (f - toe) / (1 - toe) * 0.875;
        t.screenRamp[i] = ClampToByte(trunc(255.0 * pow(shaped, 1.0 / g)));
    }
    for (int i = 0; i < 256; ++i) {
        double f = static_cast<float>(i) / 255.0f;
        t.texDecode[i] = static_cast<float>(pow(f, texGamma));
        t.gammaEncode22[i] = static_cast<float>(pow(f, static_cast<double>(1.0f / 2.2f)));
        t.gammaDecode22[i] = static_cast<float>(pow(f, static_cast<double>(2.2f)));
        t.power2N[i] = static_cast<float>(ldexp(1.0, i - 128) / 255.0);
    }
    for (int i = 0; i < 1024; ++i) t.texEncode[i] = static_cast<int>(trunc(255.0 * pow(i / 1023.0, 1.0 / texGamma)));

    double factor = overbright == 2 ? 0.5 : overbright == 4 ? 0.25 : 1.0;
    for (int i = 0; i < 4096; ++i) {
        double f = pow(i / 1024.0, 1.0 / gamma);
        t.linearToVertex[i] = static_cast<float>(fmin(f * factor, 1.0));
        double level = RoundHalfEven(f * 255.0 * factor);
        t.linearToLightmap[i] = static_cast<unsigned char>(level > 255 ? 255 : level);
    }
}

}  // namespace gamma_reference
