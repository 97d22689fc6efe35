#include "plugin/filter_start.h"

#include <vector>

#include "imaging/color.h"
#include "imaging/large_pages.h"
#include "plugin/host_mark.h"
#include "plugin/host_pixels.h"

namespace {

int16 prepare(FilterRecord& record) {
    if (record.imageMode != plugInModeRGBColor) {
        return filterBadMode;
    }
    record.bufferSpace = 0;
    return noErr;
}

int16 start(FilterRecord& record, const FilterRun& run) {
    if (record.advanceState == nullptr) {
        return filterBadParameters;
    }
    const Rect area = record.filterRect;
    const int32 width = int32{area.right} - int32{area.left};
    const int32 height = int32{area.bottom} - int32{area.top};
    // An inverted area or fewer than three planes can't be copied as RGB: refuse before any
    // pixel is touched.
    if (width <= 0 || height <= 0) {
        return filterBadParameters;
    }
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxFilterPixels) {
        return filterBadParameters;
    }
    const int16 planeCount = planeCountFor(record);
    if (planeCount < 3) {
        return filterBadParameters;
    }

    record.inRect = area;
    record.outRect = area;
    record.inLoPlane = 0;
    record.outLoPlane = 0;
    record.inHiPlane = static_cast<int16>(planeCount - 1);
    record.outHiPlane = static_cast<int16>(planeCount - 1);
    record.inputPadding = plugInWantsEdgeReplication;
    record.outputPadding = plugInWantsEdgeReplication;

    const OSErr advanced = record.advanceState();
    if (advanced != noErr) {
        return advanced;
    }
    if (record.inData == nullptr || record.outData == nullptr) {
        clearRequestedArea(record);
        return filterBadParameters;
    }

    // What the host holds, before anything is converted: a result is applied only to this.
    const PictureMark mark =
        markOfPlanes(static_cast<const uint8_t*>(record.inData), record.inRowBytes,
                     static_cast<uint32_t>(width), static_cast<uint32_t>(height), planeCount);
    PixelBuffer input;
    input.width = static_cast<uint32_t>(width);
    input.height = static_cast<uint32_t>(height);
    imaging::resizeInLargePages(input.rgba,
                                static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    copyFromHost(record, planeCount, input);

    const std::vector<uint8_t> profile = fetchProfile(record);
    const bool converted =
        !profile.empty() && color::documentToSrgbInPlace(input, profile.data(), profile.size());

    const uint32_t areaWidth = input.width;
    const uint32_t areaHeight = input.height;
    const size_t areaBytes = input.rgba.size();
    bool written = false;
    const HostWrite write = [&](PixelBuffer output) -> std::optional<PictureMark> {
        if (written || output.width != areaWidth || output.height != areaHeight ||
            output.rgba.size() != areaBytes) {
            return std::nullopt;
        }
        if (converted) {
            color::srgbToDocumentInPlace(output, profile.data(), profile.size());
        }
        copyBufferToHost(output, planeCount, record);
        written = true;
        return markOfPlanes(static_cast<const uint8_t*>(record.outData), record.outRowBytes,
                            areaWidth, areaHeight, planeCount);
    };
    const int outcome = run(std::move(input), mark, write);
    clearRequestedArea(record);
    if (outcome == 1) {
        return userCanceledErr;
    }
    return outcome == 0 && written ? noErr : filterBadParameters;
}

}  // namespace

void clearRequestedArea(FilterRecord& record) {
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
}

int16 answerSelector(int16 selector, FilterRecord& record, const FilterRun& run) {
    switch (static_cast<uint32_t>(static_cast<int32_t>(selector))) {
        case filterSelectorAbout:
        case filterSelectorParameters:
        case filterSelectorFinish:
            return noErr;
        case filterSelectorPrepare:
            return prepare(record);
        case filterSelectorStart:
            return start(record, run);
        case filterSelectorContinue:
            clearRequestedArea(record);
            return noErr;
        default:
            return filterBadParameters;
    }
}
