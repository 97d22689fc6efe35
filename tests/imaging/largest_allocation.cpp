#include "largest_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> largest{0};

}  // namespace

namespace largest_allocation {

void reset() {
    largest.store(0);
}

size_t since() {
    return largest.load();
}

}  // namespace largest_allocation

// The program's own operator new: the standard library's others (arrays, nothrow) call it, and
// its operator delete frees what malloc gave.
void* operator new(std::size_t size) {
    size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
