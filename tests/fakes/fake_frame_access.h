#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "panel/bridge/frame_access.h"

// A current frame held as plain data; records each read's use and whether it took the pixels.
// Any thread.
struct FakeFrameAccess final : FrameAccess {
    PixelBuffer frame{2, 1, {10, 20, 30, 255, 40, 50, 60, 128}};
    FrameFile file;
    uint64_t serial = 1;
    bool present = true;
    std::mutex mutex;
    std::vector<FrameUse> uses;
    std::vector<bool> taken;

    bool readFrame(FrameUse use, const Reader& read) override {
        std::lock_guard lock(mutex);
        if (!present) {
            return false;
        }
        uses.push_back(use);
        taken.push_back(read(frame, file, serial));
        return true;
    }
};
