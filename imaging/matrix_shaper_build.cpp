#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "imaging/lcms_handles.h"
#include "imaging/matrix_shaper.h"

namespace imaging {
namespace {

using Matrix3 = std::array<std::array<double, 3>, 3>;

// Tags through which lcms2 would take another road than curves and matrix.
constexpr cmsTagSignature kLutTags[] = {
    cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigBToA0Tag, cmsSigBToA1Tag,
    cmsSigBToA2Tag, cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag, cmsSigDToB3Tag,
    cmsSigBToD0Tag, cmsSigBToD1Tag, cmsSigBToD2Tag, cmsSigBToD3Tag};

// Worse than this on any probe (in 0..1 output units, a quarter of a level of 255) and the
// tables don't describe what lcms2 does with the pair.
constexpr double kProbeTolerance = 1e-3;

struct Shaper {
    Matrix3 toXyz;  // rows X, Y, Z; columns R, G, B, in the D50 connection space
    std::array<cmsToneCurve*, 3> curves;
};

// The colorants and curves of a profile that lcms2 uses as a plain matrix/TRC profile in both
// directions.
std::optional<Shaper> readShaper(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData || cmsGetPCS(profile) != cmsSigXYZData ||
        !cmsIsMatrixShaper(profile)) {
        return std::nullopt;
    }
    switch (cmsGetDeviceClass(profile)) {
        case cmsSigInputClass:
        case cmsSigDisplayClass:
        case cmsSigOutputClass:
        case cmsSigColorSpaceClass:
            break;
        default:
            return std::nullopt;
    }
    for (cmsTagSignature tag : kLutTags) {
        if (cmsIsTag(profile, tag)) {
            return std::nullopt;
        }
    }
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                          cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    Shaper shaper{};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(profile, curves[c]));
        if (xyz == nullptr || curve == nullptr) {
            return std::nullopt;
        }
        shaper.toXyz[0][c] = xyz->X;
        shaper.toXyz[1][c] = xyz->Y;
        shaper.toXyz[2][c] = xyz->Z;
        shaper.curves[c] = curve;
    }
    return shaper;
}

std::optional<Matrix3> inverse(const Matrix3& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    // lcms2 refuses below 1e-4; nearly singular colorants are left to it altogether.
    if (!(std::fabs(det) >= 1e-3) || !std::isfinite(det)) {
        return std::nullopt;
    }
    Matrix3 inv{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return inv;
}

// Linear source RGB -> linear destination RGB through the connection space.
std::optional<Matrix3> linearToLinear(const Shaper& from, const Shaper& to) {
    std::optional<Matrix3> back = inverse(to.toXyz);
    if (!back) {
        return std::nullopt;
    }
    Matrix3 m{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                m[r][c] += (*back)[r][k] * from.toXyz[k][c];
            }
        }
    }
    return m;
}

// Far beyond any real profile, and small enough that no sum of three can overflow.
constexpr float kLargest = 1e6f;

bool fillToLinear(const cmsToneCurve* curve, std::array<float, 256>& out) {
    for (int v = 0; v < 256; ++v) {
        out[v] = cmsEvalToneCurveFloat(curve, static_cast<float>(v) / 255.0f);
        if (!(std::fabs(out[v]) <= kLargest)) {
            return false;
        }
    }
    return true;
}

bool fillContribution(const std::array<std::array<float, 256>, 3>& toLinear, const Matrix3& m,
                      MatrixShaper& tables) {
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row) {
            const auto weight = static_cast<float>(m[row][c]);
            if (!(std::fabs(weight) <= kLargest)) {
                return false;
            }
            for (int v = 0; v < 256; ++v) {
                tables.contribution[c][v][row] = weight * toLinear[c][v];
            }
        }
        for (int v = 0; v < 256; ++v) {
            tables.contribution[c][v][3] = 0.0f;
        }
    }
    return true;
}

uint8_t codeValue(float encoded) {
    double v = std::isfinite(encoded) ? std::clamp(static_cast<double>(encoded), 0.0, 1.0) : 0.0;
    return static_cast<uint8_t>(std::lround(v * 255.0));
}

// Each entry holds the curve at the middle of the linear range its index stands for. False when
// neighbouring entries are more than one level apart: the index is too coarse for the curve.
bool fillFromLinear(const cmsToneCurve* inverseCurve,
                    std::array<uint8_t, MatrixShaperIndex::kEntries>& out) {
    using Index = MatrixShaperIndex;
    out[0] = codeValue(cmsEvalToneCurveFloat(inverseCurve, 0.0f));
    out[Index::kEntries - 1] = codeValue(cmsEvalToneCurveFloat(inverseCurve, 1.0f));
    for (size_t i = 1; i + 1 < Index::kEntries; ++i) {
        const int32_t first = Index::kLowBits + static_cast<int32_t>((i - 1) << Index::kShift);
        const double low = std::bit_cast<float>(first);
        const double high = std::bit_cast<float>(first + (int32_t{1} << Index::kShift));
        out[i] =
            codeValue(cmsEvalToneCurveFloat(inverseCurve, static_cast<float>(0.5 * (low + high))));
    }
    for (size_t i = 1; i < Index::kEntries; ++i) {
        if (std::abs(int{out[i]} - int{out[i - 1]}) > 1) {
            return false;
        }
    }
    return true;
}

// The first channel with the same curve: lcms2 hands out one object for tags stored once.
int sharedWith(const std::array<cmsToneCurve*, 3>& curves, int c) {
    int k = 0;
    while (curves[k] != curves[c]) {
        ++k;
    }
    return k;
}

// Channel tables, computed once for a curve that channels share.
template <class Table, class Fill>
bool fillPerChannel(const std::array<cmsToneCurve*, 3>& curves, std::array<Table, 3>& tables,
                    const Fill& fill) {
    for (int c = 0; c < 3; ++c) {
        const int same = sharedWith(curves, c);
        if (same < c) {
            tables[c] = tables[same];
        } else if (!fill(curves[c], tables[c])) {
            return false;
        }
    }
    return true;
}

// Probe colours: every combination of these levels, dark ones dense where curves bend most.
constexpr uint8_t kProbeLevels[] = {0, 1, 3, 10, 32, 64, 128, 192, 250, 255};

// Runs the probes through lcms2's floating-point transform and through the tables' model
// (the kernels' float sums, clamping in linear light, then the exact output curve).
bool agreesWithLcms(cmsHPROFILE from, cmsHPROFILE to, const MatrixShaper& tables,
                    const std::array<cmsToneCurve*, 3>& inverseCurves) {
    TransformPtr reference(cmsCreateTransform(from, TYPE_RGB_FLT, to, TYPE_RGB_FLT,
                                              INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!reference) {
        return false;
    }
    std::vector<uint8_t> probes;
    for (uint8_t r : kProbeLevels) {
        for (uint8_t g : kProbeLevels) {
            for (uint8_t b : kProbeLevels) {
                probes.insert(probes.end(), {r, g, b});
            }
        }
    }
    const size_t count = probes.size() / 3;
    std::vector<float> in(probes.size()), out(probes.size());
    for (size_t i = 0; i < probes.size(); ++i) {
        in[i] = static_cast<float>(probes[i]) / 255.0f;
    }
    cmsDoTransform(reference.get(), in.data(), out.data(), static_cast<cmsUInt32Number>(count));
    for (size_t p = 0; p < count; ++p) {
        const uint8_t* rgb = &probes[p * 3];
        for (int c = 0; c < 3; ++c) {
            const float linear = std::clamp(tables.linear(c, rgb[0], rgb[1], rgb[2]), 0.0f, 1.0f);
            const double ours = cmsEvalToneCurveFloat(inverseCurves[c], linear);
            const double theirs = out[p * 3 + c];
            if (!(std::fabs(std::clamp(ours, 0.0, 1.0) - std::clamp(theirs, 0.0, 1.0)) <=
                  kProbeTolerance)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<MatrixShaper> buildMatrixShaper(cmsHPROFILE from, cmsHPROFILE to) {
    std::optional<Shaper> source = readShaper(from);
    std::optional<Shaper> target = source ? readShaper(to) : std::nullopt;
    if (!target) {
        return nullptr;
    }
    // lcms2 maps black to black only when every curve starts at zero; otherwise black point
    // compensation may move it, which the tables don't model.
    for (const Shaper* s : {&*source, &*target}) {
        for (const cmsToneCurve* curve : s->curves) {
            if (cmsEvalToneCurveFloat(curve, 0.0f) != 0.0f) {
                return nullptr;
            }
        }
    }
    std::optional<Matrix3> matrix = linearToLinear(*source, *target);
    std::array<std::array<float, 256>, 3> toLinear{};
    auto tables = std::make_unique<MatrixShaper>();
    if (!matrix || !fillPerChannel(source->curves, toLinear, fillToLinear) ||
        !fillContribution(toLinear, *matrix, *tables)) {
        return nullptr;
    }
    // The reversed curves are the ones lcms2 builds for a profile used as output.
    std::array<ToneCurvePtr, 3> owned;
    std::array<cmsToneCurve*, 3> inverses{};
    for (int c = 0; c < 3; ++c) {
        const int same = sharedWith(target->curves, c);
        if (same < c) {
            inverses[c] = inverses[same];
            continue;
        }
        owned[c].reset(cmsReverseToneCurve(target->curves[c]));
        if (!owned[c]) {
            return nullptr;
        }
        inverses[c] = owned[c].get();
    }
    if (!fillPerChannel(inverses, tables->fromLinear, fillFromLinear) ||
        !agreesWithLcms(from, to, *tables, inverses)) {
        return nullptr;
    }
    return tables;
}

}  // namespace imaging
