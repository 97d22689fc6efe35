# The imaging core on a 24-megapixel photograph, beside memcpy, libpng and libvips:
# build/bench/bench_imaging, run by hand.
add_executable(bench_imaging
  ${CMAKE_CURRENT_LIST_DIR}/imaging_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/imaging_mosaic.cpp)
target_link_libraries(bench_imaging PRIVATE
  lumivo_imaging benchmark::benchmark PkgConfig::PNG PkgConfig::LCMS2 PkgConfig::VIPS)
target_compile_definitions(bench_imaging PRIVATE LUMIVO_BENCH_OUT="${CMAKE_CURRENT_BINARY_DIR}")
