#include "imaging/large_pages.h"

#include <sys/mman.h>

namespace imaging {
namespace {

constexpr uintptr_t kPage = 4096;
// Below this a buffer spans too few whole large pages to be worth a system call.
constexpr size_t kWorthBytes = size_t{4} << 20;

void adviseLargePages(uint8_t* data, size_t bytes) {
    if (data == nullptr || bytes < kWorthBytes) {
        return;
    }
    uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    // Advice only: a kernel without transparent huge pages refuses it, and 4 KiB pages serve.
    (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

void reserveInLargePages(std::vector<uint8_t>& bytes, size_t n) {
    bool fresh = bytes.capacity() < n;
    bytes.reserve(n);
    if (fresh) {
        adviseLargePages(bytes.data(), bytes.capacity());
    }
}

void resizeInLargePages(std::vector<uint8_t>& bytes, size_t n) {
    reserveInLargePages(bytes, n);
    bytes.resize(n);
}

}  // namespace imaging
