#include "plugin/host_pixels.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr int32 kIccHeaderBytes = 128;
// Larger profiles are refused unread: no real RGB profile comes near this, and the copy is
// taken in the host's process.
constexpr int32 kMaxProfileBytes = 64 << 20;

}  // namespace

int16 planeCountFor(const FilterRecord& record) {
    int16 count = 3;
    if (record.filterCase == filterCaseEditableTransparencyNoSelection ||
        record.filterCase == filterCaseEditableTransparencyWithSelection) {
        count = 4;
    }
    if (record.planes < count) {
        count = record.planes;
    }
    return count;
}

void copyFromHost(const FilterRecord& record, int16 planeCount, PixelBuffer& buffer) {
    const auto* base = static_cast<const uint8_t*>(record.inData);
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(record.inRowBytes);
    const size_t width = buffer.width;
    for (size_t r = 0; r < buffer.height; ++r) {
        const uint8_t* source = base + rowBytes * static_cast<ptrdiff_t>(r);
        uint8_t* destination = buffer.rgba.data() + r * width * 4;
        if (planeCount == 4) {
            std::memcpy(destination, source, width * 4);
            continue;
        }
        for (size_t c = 0; c < width; ++c) {
            destination[0] = source[0];
            destination[1] = source[1];
            destination[2] = source[2];
            destination[3] = 255;
            source += 3;
            destination += 4;
        }
    }
}

void copyBufferToHost(const PixelBuffer& buffer, int16 planeCount, FilterRecord& record) {
    if (buffer.width == 0 || buffer.height == 0) {
        return;
    }
    auto* base = static_cast<uint8_t*>(record.outData);
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(record.outRowBytes);
    const size_t width = buffer.width;
    for (size_t r = 0; r < buffer.height; ++r) {
        uint8_t* destination = base + rowBytes * static_cast<ptrdiff_t>(r);
        const uint8_t* source = buffer.rgba.data() + r * width * 4;
        if (planeCount == 4) {
            std::memcpy(destination, source, width * 4);
            continue;
        }
        for (size_t c = 0; c < width; ++c) {
            destination[0] = source[0];
            destination[1] = source[1];
            destination[2] = source[2];
            source += 4;
            destination += 3;
        }
    }
}

std::vector<uint8_t> fetchProfile(const FilterRecord& record) {
    std::vector<uint8_t> profile;
    if (record.canUseICCProfiles == 0 || record.iCCprofileData == nullptr ||
        record.iCCprofileSize < kIccHeaderBytes || record.iCCprofileSize > kMaxProfileBytes ||
        record.handleProcs == nullptr || record.handleProcs->lockProc == nullptr) {
        return profile;
    }
    const Ptr bytes = record.handleProcs->lockProc(record.iCCprofileData, false);
    if (bytes == nullptr) {
        return profile;
    }
    if (std::memcmp(bytes + 36, "acsp", 4) == 0 && std::memcmp(bytes + 16, "RGB ", 4) == 0) {
        try {
            profile.assign(reinterpret_cast<const uint8_t*>(bytes),
                           reinterpret_cast<const uint8_t*>(bytes) + record.iCCprofileSize);
        } catch (...) {
            profile.clear();  // no memory for the copy: go on without the profile
        }
    }
    if (record.handleProcs->unlockProc != nullptr) {
        record.handleProcs->unlockProc(record.iCCprofileData);
    }
    return profile;
}
