#include "panel/bridge/color_look.h"

#include <cmath>
#include <new>

#include "imaging/large_pages.h"
#include "imaging/two_threads.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using nlohmann::json;

// A value stored into a script's clamped byte array: NaN and anything up to 0 give 0, anything
// from 255 up gives 255, the rest rounds to the nearest integer, halves to the even one.
uint8_t clampedByte(double value) {
    if (!(value > 0)) {
        return 0;
    }
    if (value >= 255) {
        return 255;
    }
#ifdef __SSE2__
    // The processor's default rounding is to nearest, ties to even.
    return static_cast<uint8_t>(_mm_cvtsd_si32(_mm_set_sd(value)));
#else
    return static_cast<uint8_t>(std::nearbyint(value));
#endif
}

std::optional<std::array<uint8_t, 256>> table(const json& value) {
    if (!value.is_array() || value.size() != 256) {
        return std::nullopt;
    }
    std::array<uint8_t, 256> out{};
    for (size_t i = 0; i < 256; ++i) {
        const json& entry = value[i];
        if (!entry.is_number_integer() || entry.get<int64_t>() < 0 || entry.get<int64_t>() > 255) {
            return std::nullopt;
        }
        out[i] = static_cast<uint8_t>(entry.get<int64_t>());
    }
    return out;
}

std::optional<ColorLook::Step> step(const json& value) {
    if (!value.is_object() || value.size() != 1) {
        return std::nullopt;
    }
    ColorLook::Step out;
    if (auto curves = value.find("curves"); curves != value.end()) {
        if (!curves->is_array() || curves->size() != 3) {
            return std::nullopt;
        }
        for (size_t c = 0; c < 3; ++c) {
            auto channel = table((*curves)[c]);
            if (!channel) {
                return std::nullopt;
            }
            out.curves[c] = *channel;
        }
        return out;
    }
    auto matrix = value.find("matrix");
    if (matrix == value.end() || !matrix->is_array() || matrix->size() != 9) {
        return std::nullopt;
    }
    out.isMatrix = true;
    for (size_t i = 0; i < 9; ++i) {
        const json& entry = (*matrix)[i];
        if (!entry.is_number() || !std::isfinite(entry.get<double>())) {
            return std::nullopt;
        }
        out.matrix[i] = entry.get<double>();
    }
    return out;
}

// One matrix step ready to run: every product a coefficient makes with a byte, worked out once,
// so a pixel costs three sums per channel (in the script's order) and no multiplication.
struct MatrixProducts {
    double product[9][256];

    explicit MatrixProducts(const std::array<double, 9>& m) {
        for (int k = 0; k < 9; ++k) {
            for (int v = 0; v < 256; ++v) {
                product[k][v] = m[k] * v;
            }
        }
    }
};

// The blend with the original: original * (1 - s) + edited * s, in that order.
struct BlendProducts {
    double original[256];
    double edited[256];

    explicit BlendProducts(double strength) {
        const double keep = 1 - strength;
        for (int v = 0; v < 256; ++v) {
            original[v] = v * keep;
            edited[v] = v * strength;
        }
    }
};

}  // namespace

std::optional<ColorLook> parseColorLook(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    ColorLook look;
    for (const auto& [key, member] : value.items()) {
        if (key == "steps") {
            if (!member.is_array() || member.size() > kMaxLookSteps) {
                return std::nullopt;
            }
            for (const json& entry : member) {
                auto parsed = step(entry);
                if (!parsed) {
                    return std::nullopt;
                }
                look.steps.push_back(*parsed);
            }
        } else if (key == "strength") {
            if (!member.is_number() || !(member.get<double>() >= 0) ||
                !(member.get<double>() <= 1)) {
                return std::nullopt;
            }
            look.strength = member.get<double>();
        } else {
            return std::nullopt;
        }
    }
    return look;
}

PixelBuffer applyColorLook(const PixelBuffer& frame, const ColorLook& look) {
    try {
        PixelBuffer out{frame.width, frame.height, {}};
        imaging::resizeInLargePages(out.rgba, frame.rgba.size());
        const bool edits = look.strength > 0 && !look.steps.empty();
        const bool blends = edits && look.strength < 1;
        const std::vector<ColorLook::Step> none;
        const std::vector<ColorLook::Step>& steps = edits ? look.steps : none;
        // Curves alone make each channel a function of itself: they fold, with the blend, into
        // one table per channel.
        bool curvesOnly = true;
        std::array<std::array<uint8_t, 256>, 3> folded{};
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v) {
                folded[c][v] = static_cast<uint8_t>(v);
            }
        }
        std::vector<MatrixProducts> matrices;
        for (const ColorLook::Step& step : steps) {
            if (step.isMatrix) {
                curvesOnly = false;
                matrices.emplace_back(step.matrix);
            }
        }
        const BlendProducts blend(look.strength);
        if (curvesOnly) {
            for (const ColorLook::Step& step : steps) {
                for (int c = 0; c < 3; ++c) {
                    for (int v = 0; v < 256; ++v) {
                        folded[c][v] = step.curves[c][folded[c][v]];
                    }
                }
            }
            if (blends) {
                for (int c = 0; c < 3; ++c) {
                    for (int v = 0; v < 256; ++v) {
                        folded[c][v] = clampedByte(blend.original[v] + blend.edited[folded[c][v]]);
                    }
                }
            }
        }
        const uint8_t* in = frame.rgba.data();
        uint8_t* target = out.rgba.data();
        imaging::splitAcrossTwoThreads(
            size_t{frame.width} * frame.height, [&](size_t first, size_t count) {
                for (size_t i = first * 4, end = (first + count) * 4; i < end; i += 4) {
                    const uint8_t r0 = in[i], g0 = in[i + 1], b0 = in[i + 2];
                    if (curvesOnly) {
                        target[i] = folded[0][r0];
                        target[i + 1] = folded[1][g0];
                        target[i + 2] = folded[2][b0];
                        target[i + 3] = in[i + 3];
                        continue;
                    }
                    uint8_t r = r0, g = g0, b = b0;
                    size_t matrix = 0;
                    for (const ColorLook::Step& step : steps) {
                        if (!step.isMatrix) {
                            r = step.curves[0][r];
                            g = step.curves[1][g];
                            b = step.curves[2][b];
                            continue;
                        }
                        const auto& p = matrices[matrix++].product;
                        const uint8_t nr = clampedByte(p[0][r] + p[1][g] + p[2][b]);
                        const uint8_t ng = clampedByte(p[3][r] + p[4][g] + p[5][b]);
                        const uint8_t nb = clampedByte(p[6][r] + p[7][g] + p[8][b]);
                        r = nr;
                        g = ng;
                        b = nb;
                    }
                    if (blends) {
                        r = clampedByte(blend.original[r0] + blend.edited[r]);
                        g = clampedByte(blend.original[g0] + blend.edited[g]);
                        b = clampedByte(blend.original[b0] + blend.edited[b]);
                    }
                    target[i] = r;
                    target[i + 1] = g;
                    target[i + 2] = b;
                    target[i + 3] = in[i + 3];
                }
            });
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}
