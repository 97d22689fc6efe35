#pragma once

#include <cstddef>

// The largest single block the test program asked of operator new since the last reset: every
// image canvas is one such block, so a decoder's canvas shows here whether or not it was
// touched. Any thread.
namespace largest_allocation {

void reset();
size_t since();

}  // namespace largest_allocation
