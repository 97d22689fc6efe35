#include "imaging/large_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The flags the kernel keeps for the mapping that holds address, from /proc/self/smaps.
std::string mappingFlags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long begin = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &begin, &end) == 2) {
            inside = begin <= at && at < end;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return {};
}

bool kernelOffersLargePages() {
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::stringstream text;
    text << mode.rdbuf();
    return !text.str().empty() && text.str().find("[never]") == std::string::npos;
}

TEST(LargePages, BuffersAreZeroedAndWhatAVectorHeldStays) {
    for (size_t n : {size_t{0}, size_t{100}, size_t{5} << 20}) {
        std::vector<uint8_t> bytes;
        imaging::resizeInLargePages(bytes, n);
        ASSERT_EQ(bytes.size(), n);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<ptrdiff_t>(n));
    }
    std::vector<uint8_t> held{1, 2, 3};
    imaging::reserveInLargePages(held, size_t{8} << 20);
    EXPECT_EQ(held, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_GE(held.capacity(), size_t{8} << 20);
}

TEST(LargePages, AnImageSizedBufferIsAdvisedBeforeItsFirstTouch) {
    if (!kernelOffersLargePages()) {
        GTEST_SKIP() << "this kernel offers no transparent huge pages";
    }
    std::vector<uint8_t> canvas;
    imaging::resizeInLargePages(canvas, size_t{64} << 20);
    // "hg": the mapping under the middle of the buffer carries the large-page advice.
    EXPECT_NE(mappingFlags(canvas.data() + canvas.size() / 2).find(" hg"), std::string::npos);
}

}  // namespace
