#include "service/effects.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>

namespace effects {

namespace {

using Progress = std::function<void(double)>;

cv::Mat toBgr(const PixelBuffer& image) {
    // The buffer's bytes are only read: the header shares them without a copy.
    cv::Mat rgba(static_cast<int>(image.height), static_cast<int>(image.width), CV_8UC4,
                 const_cast<uint8_t*>(image.rgba.data()));
    cv::Mat bgr;
    cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
    return bgr;
}

PixelBuffer fromBgr(const cv::Mat& bgr, const cv::Mat& alpha = cv::Mat()) {
    PixelBuffer out;
    out.width = static_cast<uint32_t>(bgr.cols);
    out.height = static_cast<uint32_t>(bgr.rows);
    out.rgba.resize(size_t{out.width} * out.height * 4);
    cv::Mat rgba(bgr.rows, bgr.cols, CV_8UC4, out.rgba.data());
    cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
    if (!alpha.empty()) {
        const int fromTo[] = {0, 3};
        cv::mixChannels(&alpha, 1, &rgba, 1, fromTo, 1);
    }
    return out;
}

// An effect that maps the whole colour frame to a colour frame of the same size.
template <typename Work>
PixelBuffer colourEffect(const PixelBuffer& image, const Progress& progress, Work work) {
    cv::Mat bgr = toBgr(image);
    progress(0.2);
    cv::Mat out;
    work(bgr, out);
    return fromBgr(out);
}

PixelBuffer stylize(const PixelBuffer& image, const Progress& progress) {
    return colourEffect(image, progress, [](const cv::Mat& in, cv::Mat& out) {
        cv::stylization(in, out, 60, 0.45f);
    });
}

PixelBuffer sketch(const PixelBuffer& image, const Progress& progress) {
    return colourEffect(image, progress, [](const cv::Mat& in, cv::Mat& out) {
        cv::Mat gray;
        cv::pencilSketch(in, gray, out, 60, 0.07f, 0.05f);
    });
}

PixelBuffer detail(const PixelBuffer& image, const Progress& progress) {
    return colourEffect(image, progress, [](const cv::Mat& in, cv::Mat& out) {
        cv::detailEnhance(in, out, 10, 0.15f);
    });
}

PixelBuffer watercolour(const PixelBuffer& image, const Progress& progress) {
    return colourEffect(image, progress, [&progress](const cv::Mat& in, cv::Mat& out) {
        cv::Mat smooth;
        cv::edgePreservingFilter(in, smooth, cv::RECURS_FILTER, 60, 0.4f);
        progress(0.7);
        // Fewer tones, as washes of paint.
        smooth.convertTo(out, CV_8UC3, 1.0 / 24.0);
        out.convertTo(out, CV_8UC3, 24.0, 12.0);
    });
}

// The subject kept, the background made transparent. GrabCut starts from the frame's central
// part as the probable subject and runs on a copy of at most kCutoutPixels; its mask is scaled
// back and softened into the alpha channel.
constexpr double kCutoutPixels = 320.0 * 320.0;
constexpr int kCutoutRounds = 3;

PixelBuffer cutout(const PixelBuffer& image, const Progress& progress) {
    cv::Mat bgr = toBgr(image);
    const double scale =
        std::min(1.0, std::sqrt(kCutoutPixels / (double(bgr.cols) * double(bgr.rows))));
    cv::Mat small;
    cv::resize(bgr, small, cv::Size(), scale, scale, cv::INTER_AREA);
    if (small.cols < 8 || small.rows < 8) {
        return fromBgr(bgr, cv::Mat(bgr.size(), CV_8UC1, cv::Scalar(255)));
    }
    const cv::Rect subject(small.cols / 10, small.rows / 10, small.cols * 8 / 10,
                           small.rows * 8 / 10);
    cv::Mat mask, background, foreground;
    cv::grabCut(small, mask, subject, background, foreground, 1, cv::GC_INIT_WITH_RECT);
    for (int round = 1; round < kCutoutRounds; ++round) {
        progress(0.1 + 0.8 * round / kCutoutRounds);
        cv::grabCut(small, mask, subject, background, foreground, 1, cv::GC_EVAL);
    }
    cv::Mat keep = (mask == cv::GC_FGD) | (mask == cv::GC_PR_FGD);
    cv::Mat alpha;
    cv::resize(keep, alpha, bgr.size(), 0, 0, cv::INTER_LINEAR);
    cv::GaussianBlur(alpha, alpha, cv::Size(5, 5), 0);
    return fromBgr(bgr, alpha);
}

struct Entry {
    Effect effect;
    PixelBuffer (*run)(const PixelBuffer&, const Progress&);
};

const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = {
        {{"stylize", "Painting", false}, stylize},
        {{"sketch", "Pencil sketch", false}, sketch},
        {{"detail", "Detail", false}, detail},
        {{"watercolour", "Watercolour", false}, watercolour},
        {{"cutout", "Remove background", true}, cutout},
    };
    return list;
}

const Entry* find(const std::string& id) {
    for (const Entry& entry : entries()) {
        if (id == entry.effect.id) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<Effect>& all() {
    static const std::vector<Effect> list = [] {
        std::vector<Effect> effects;
        for (const Entry& entry : entries()) {
            effects.push_back(entry.effect);
        }
        return effects;
    }();
    return list;
}

bool exists(const std::string& id) {
    return find(id) != nullptr;
}

PixelBuffer run(const std::string& id, const PixelBuffer& image, const Progress& progress) {
    const Entry* entry = find(id);
    if (entry == nullptr || image.empty() ||
        image.rgba.size() != size_t{image.width} * image.height * 4) {
        return {};
    }
    try {
        PixelBuffer out = entry->run(image, progress);
        progress(0.95);
        return out;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace effects
