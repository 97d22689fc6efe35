#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/matrix_shaper.h"

// The implementations behind convertByMatrixShaper, which give identical bytes. Any thread.
namespace imaging {

void convertByMatrixShaperPortable(const MatrixShaper& tables, uint8_t* rgba, size_t pixels);

#if defined(__SSE2__)
void convertByMatrixShaperSse2(const MatrixShaper& tables, uint8_t* rgba, size_t pixels);
#endif

}  // namespace imaging
