#include "host/filter_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/large_pages.h"

namespace {

constexpr int kMaxContinueCalls = 1 << 16;
constexpr size_t kBufferRowPadding = 7;  // odd on purpose: plug-ins must honour row bytes
constexpr OSErr kMemFullErr = -108;

// The editor's handles: a pointer to the block, followed by its size.
struct HostHandle {
    char* data;
    int32 size;
};

Handle newHandle(int32 size) {
    if (size < 0) {
        return nullptr;
    }
    auto* handle = new HostHandle{new char[static_cast<size_t>(size) + 1](), size};
    return reinterpret_cast<Handle>(handle);
}
void disposeHandle(Handle handle) {
    auto* block = reinterpret_cast<HostHandle*>(handle);
    if (block != nullptr) {
        delete[] block->data;
        delete block;
    }
}
int32 handleSize(Handle handle) {
    return handle != nullptr ? reinterpret_cast<HostHandle*>(handle)->size : 0;
}
OSErr setHandleSize(Handle, int32) {
    return kMemFullErr;
}
Ptr lockHandle(Handle handle, Boolean) {
    return handle != nullptr ? *handle : nullptr;
}
void unlockHandle(Handle) {}

bool isEmpty(const Rect& r) {
    return r.top >= r.bottom || r.left >= r.right;
}

// The pixels of one requested area and planes, interleaved, with padded rows.
struct AreaBuffer {
    Rect area{};
    int lo = 0;
    int planes = 0;
    size_t rowBytes = 0;
    std::vector<uint8_t> bytes;
};

class FilterSession;
thread_local FilterSession* tActiveSession = nullptr;

class FilterSession {
  public:
    FilterSession(PluginMainProc entry, Document& document, Rect filterRect, FilterRunWatch& watch)
        : entry_(entry), document_(document), watch_(watch), previous_(tActiveSession) {
        tActiveSession = this;
        procs_.handleProcsVersion = 1;
        procs_.numHandleProcs = 6;
        procs_.newProc = &newHandle;
        procs_.disposeProc = &disposeHandle;
        procs_.getSizeProc = &handleSize;
        procs_.setSizeProc = &setHandleSize;
        procs_.lockProc = &lockHandle;
        procs_.unlockProc = &unlockHandle;

        record_.advanceState = &FilterSession::advanceState;
        record_.imageMode = plugInModeRGBColor;
        record_.planes = static_cast<int16>(document.channels);
        record_.filterRect = filterRect;
        record_.handleProcs = &procs_;
        if (!document.iccProfile.empty()) {
            profile_ = newHandle(static_cast<int32>(document.iccProfile.size()));
            std::memcpy(*profile_, document.iccProfile.data(), document.iccProfile.size());
            record_.canUseICCProfiles = 1;
            record_.iCCprofileData = profile_;
            record_.iCCprofileSize = static_cast<int32>(document.iccProfile.size());
        }
    }
    ~FilterSession() {
        disposeHandle(profile_);
        tActiveSession = previous_;
    }
    FilterSession(const FilterSession&) = delete;
    FilterSession& operator=(const FilterSession&) = delete;

    FilterRecord& record() { return record_; }

    int16 call(int16 selector) {
        const bool start = selector == filterSelectorStart;
        step(start, "start");
        int16 result = 0;
        entry_(selector, &record_, &data_, &result);
        step(start, "start-returned");
        writeBack();
        step(start, "written-back");
        return result;
    }

    void step(bool when, const char* name) const {
        if (when && watch_.onStep) {
            watch_.onStep(name);
        }
    }

    // Fills the buffers for the areas the plug-in now asks for.
    OSErr fillBuffers() {
        writeBack();
        in_ = {};
        out_ = {};
        record_.inData = nullptr;
        record_.outData = nullptr;
        if (!isEmpty(record_.inRect)) {
            if (!load(record_.inRect, record_.inLoPlane, record_.inHiPlane, in_)) {
                return filterBadParameters;
            }
            record_.inData = in_.bytes.data();
            record_.inRowBytes = static_cast<int32>(in_.rowBytes);
        }
        if (!isEmpty(record_.outRect)) {
            if (!load(record_.outRect, record_.outLoPlane, record_.outHiPlane, out_)) {
                return filterBadParameters;
            }
            record_.outData = out_.bytes.data();
            record_.outRowBytes = static_cast<int32>(out_.rowBytes);
        }
        return noErr;
    }

  private:
    static OSErr advanceState() {
        if (tActiveSession == nullptr) {
            return filterBadParameters;
        }
        tActiveSession->step(true, "buffers");
        const OSErr filled = tActiveSession->fillBuffers();
        tActiveSession->step(true, "buffers-filled");
        return filled;
    }

    bool load(const Rect& area, int16 lo, int16 hi, AreaBuffer& buffer) {
        if (area.left < 0 || area.top < 0 || area.right > static_cast<int32>(document_.width) ||
            area.bottom > static_cast<int32>(document_.height) || lo < 0 || hi < lo ||
            hi >= document_.channels) {
            return false;
        }
        buffer.area = area;
        buffer.lo = lo;
        buffer.planes = hi - lo + 1;
        const size_t width = static_cast<size_t>(area.right - area.left);
        buffer.rowBytes = width * static_cast<size_t>(buffer.planes) + kBufferRowPadding;
        const size_t bytes = buffer.rowBytes * static_cast<size_t>(area.bottom - area.top);
        imaging::reserveInLargePages(buffer.bytes, bytes);
        buffer.bytes.assign(bytes, 0xCD);
        const size_t channels = static_cast<size_t>(document_.channels);
        const size_t planes = static_cast<size_t>(buffer.planes);
        for (int y = area.top; y < area.bottom; ++y) {
            const uint8_t* source = document_.row(static_cast<uint32_t>(y)) +
                                    static_cast<size_t>(area.left) * channels + lo;
            uint8_t* target =
                buffer.bytes.data() + buffer.rowBytes * static_cast<size_t>(y - area.top);
            if (planes == channels) {
                std::memcpy(target, source, width * planes);
                continue;
            }
            for (size_t x = 0; x < width; ++x, source += channels, target += planes) {
                std::memcpy(target, source, planes);
            }
        }
        return true;
    }

    // Notes whether writing `bytes` bytes of `source` over `target` changes the document; the
    // first change is announced before it is made.
    void noteChange(const uint8_t* target, const uint8_t* source, size_t bytes) {
        if (watch_.changed || std::memcmp(target, source, bytes) == 0) {
            return;
        }
        if (watch_.beforeChange) {
            watch_.beforeChange();
        }
        watch_.changed = true;
    }

    // Copies what the plug-in wrote into the output buffer back into the document, noting
    // whether that changed anything.
    void writeBack() {
        if (out_.bytes.empty()) {
            return;
        }
        const Rect& area = out_.area;
        const size_t channels = static_cast<size_t>(document_.channels);
        const size_t planes = static_cast<size_t>(out_.planes);
        const size_t width = static_cast<size_t>(area.right - area.left);
        for (int y = area.top; y < area.bottom; ++y) {
            uint8_t* target = document_.row(static_cast<uint32_t>(y)) +
                              static_cast<size_t>(area.left) * channels + out_.lo;
            const uint8_t* source =
                out_.bytes.data() + out_.rowBytes * static_cast<size_t>(y - area.top);
            if (planes == channels) {
                noteChange(target, source, width * planes);
                std::memcpy(target, source, width * planes);
                continue;
            }
            for (size_t x = 0; x < width; ++x, source += planes, target += channels) {
                noteChange(target, source, planes);
                std::memcpy(target, source, planes);
            }
        }
        out_ = {};
        record_.outData = nullptr;
    }

    PluginMainProc entry_;
    Document& document_;
    FilterRunWatch& watch_;
    FilterSession* previous_;
    FilterRecord record_{};
    HandleProcs procs_{};
    Handle profile_ = nullptr;
    intptr_t data_ = 0;
    AreaBuffer in_;
    AreaBuffer out_;
};

}  // namespace

int16 runFilter(PluginMainProc entry, Document& document, std::optional<Selection> selection,
                FilterRunWatch* watch) {
    if (entry == nullptr || document.empty() || document.width > kMaxFilterSide ||
        document.height > kMaxFilterSide) {
        return filterBadParameters;
    }
    Rect area{0, 0, static_cast<int16>(document.height), static_cast<int16>(document.width)};
    if (selection) {
        const auto right = static_cast<uint32_t>(
            std::min<uint64_t>(document.width, uint64_t{selection->x} + selection->width));
        const auto bottom = static_cast<uint32_t>(
            std::min<uint64_t>(document.height, uint64_t{selection->y} + selection->height));
        area = Rect{static_cast<int16>(std::min(selection->y, bottom)),
                    static_cast<int16>(std::min(selection->x, right)), static_cast<int16>(bottom),
                    static_cast<int16>(right)};
    }
    FilterRunWatch unwatched;
    FilterSession session(entry, document, area, watch != nullptr ? *watch : unwatched);
    FilterRecord& record = session.record();
    const bool transparent = document.channels == 4;
    record.filterCase = transparent ? (selection ? filterCaseEditableTransparencyWithSelection
                                                 : filterCaseEditableTransparencyNoSelection)
                                    : (selection ? filterCaseFlatImageWithSelection
                                                 : filterCaseFlatImageNoSelection);

    int16 result = session.call(filterSelectorPrepare);
    if (result != noErr) {
        return result;
    }
    result = session.call(filterSelectorStart);
    for (int calls = 0; result == noErr && calls < kMaxContinueCalls &&
                        (!isEmpty(record.inRect) || !isEmpty(record.outRect));
         ++calls) {
        result = session.fillBuffers();
        if (result == noErr) {
            result = session.call(filterSelectorContinue);
        }
    }
    if (result == noErr) {
        result = session.call(filterSelectorFinish);
    }
    session.step(true, "finished");
    return result;
}
