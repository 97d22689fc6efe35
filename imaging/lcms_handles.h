#pragma once

#include <lcms2.h>

#include <memory>

// Owning handles for lcms2 objects, so every early return releases them. Any thread.
namespace imaging {

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
struct ToneCurveDeleter {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformDeleter>;
using ToneCurvePtr = std::unique_ptr<cmsToneCurve, ToneCurveDeleter>;

}  // namespace imaging
