#pragma once

#include <cstddef>
#include <thread>

// Sharing a pixel run between the calling thread and one helper. Any thread.
namespace imaging {

// Below this many pixels a second thread costs more than it saves.
constexpr size_t kParallelThreshold = size_t{1} << 20;

// Calls work(first, count) so that the calls cover [0, pixels) once: a single call for small runs
// or on one core, else one per half with the first half on a helper thread. When the helper
// can't be started the caller does the whole run. work must not throw.
template <class Work>
void splitAcrossTwoThreads(size_t pixels, const Work& work) {
    if (pixels < kParallelThreshold || std::thread::hardware_concurrency() < 2) {
        work(size_t{0}, pixels);
        return;
    }
    const size_t half = pixels / 2;
    std::thread helper;
    try {
        helper = std::thread([&work, half] { work(size_t{0}, half); });
    } catch (...) {
        work(size_t{0}, pixels);
        return;
    }
    work(half, pixels - half);
    helper.join();
}

}  // namespace imaging
