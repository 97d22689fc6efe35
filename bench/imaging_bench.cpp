// Imaging benchmarks on a 24-megapixel photograph, each next to memcpy of the same bytes and
// the reference it must keep up with (libpng at its defaults, libvips' Lanczos3 on one thread).
// Run by hand: build-*/bench/bench_imaging [--benchmark_filter=...]
// With GLIBC_TUNABLES=glibc.malloc.hugetlb=1 fresh buffers come in huge pages. CPU times are
// of the whole process, so work on helper threads (ours and libvips') counts.
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <png.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <vips/vips.h>

#include "bench/imaging_mosaic.h"
#include "imaging/color.h"
#include "imaging/color_reference.h"
#include "imaging/png.h"
#include "imaging/png_encode_threads.h"

namespace {

using Bytes = std::vector<uint8_t>;

const PixelBuffer& photo() {
    static const PixelBuffer mosaic = [] {
        PixelBuffer m = buildPhotoMosaic();
        if (!m.empty()) {
            Bytes file = png::encode(m);
            std::ofstream(LUMIVO_BENCH_OUT "/imaging_mosaic.png", std::ios::binary)
                .write(reinterpret_cast<const char*>(file.data()),
                       static_cast<std::streamsize>(file.size()));
        }
        return m;
    }();
    return mosaic;
}

void appendData(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// libpng with every setting at its default (zlib level 6, adaptive filters).
Bytes libpngEncode(const PixelBuffer& image) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendData, nullptr);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    for (uint32_t y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgba.data() + size_t{y} * image.width * 4);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng reading to RGBA8, the simplified way a typical caller does it.
PixelBuffer libpngDecode(const Bytes& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
        return {};
    }
    image.format = PNG_FORMAT_RGBA;
    PixelBuffer out{image.width, image.height, Bytes(PNG_IMAGE_SIZE(image))};
    png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr);
    png_image_free(&image);
    return out;
}

void setBytes(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Memcpy(benchmark::State& state) {
    const PixelBuffer& src = photo();
    for (auto _ : state) {
        Bytes copy(src.rgba.size());  // fresh memory, as every imaging result is
        std::memcpy(copy.data(), src.rgba.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
    }
    setBytes(state, src.rgba.size());
}

// The same copy into memory that has been touched before: the floor without page faults.
void BM_MemcpyWarm(benchmark::State& state) {
    const PixelBuffer& src = photo();
    Bytes copy(src.rgba.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), src.rgba.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
    }
    setBytes(state, src.rgba.size());
}

void BM_Encode(benchmark::State& state) {
    const PixelBuffer& src = photo();
    size_t size = 0;
    for (auto _ : state) {
        Bytes file = imaging::encodePngWithThreads(src, static_cast<unsigned>(state.range(0)));
        size = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    setBytes(state, src.rgba.size());
    state.counters["file_MB"] = size / 1e6;
    state.counters["x_libpng_size"] = double(size) / libpngEncode(src).size();
}

void BM_LibpngEncodeDefault(benchmark::State& state) {
    const PixelBuffer& src = photo();
    size_t size = 0;
    for (auto _ : state) {
        Bytes file = libpngEncode(src);
        size = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    setBytes(state, src.rgba.size());
    state.counters["file_MB"] = size / 1e6;
}

void BM_DecodeOwnFile(benchmark::State& state) {
    const Bytes file = png::encode(photo());
    for (auto _ : state) {
        PixelBuffer image = png::decode(file.data(), file.size());
        benchmark::DoNotOptimize(image.rgba.data());
    }
    setBytes(state, photo().rgba.size());
}

void BM_LibpngDecodeOwnFile(benchmark::State& state) {
    const Bytes file = png::encode(photo());
    for (auto _ : state) {
        PixelBuffer image = libpngDecode(file);
        benchmark::DoNotOptimize(image.rgba.data());
    }
    setBytes(state, photo().rgba.size());
}

void BM_DecodeLibpngFile(benchmark::State& state) {
    const Bytes file = libpngEncode(photo());
    for (auto _ : state) {
        PixelBuffer image = png::decode(file.data(), file.size());
        benchmark::DoNotOptimize(image.rgba.data());
    }
    setBytes(state, photo().rgba.size());
}

void BM_LibpngDecodeLibpngFile(benchmark::State& state) {
    const Bytes file = libpngEncode(photo());
    for (auto _ : state) {
        PixelBuffer image = libpngDecode(file);
        benchmark::DoNotOptimize(image.rgba.data());
    }
    setBytes(state, photo().rgba.size());
}

PixelBuffer sourceFor(uint32_t width, uint32_t height) {
    const PixelBuffer& full = photo();
    if (width == full.width && height == full.height) {
        return full;
    }
    PixelBuffer crop{width, height, Bytes(size_t{width} * height * 4)};
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(&crop.rgba[size_t{y} * width * 4], &full.rgba[size_t{y} * full.width * 4],
                    size_t{width} * 4);
    }
    return crop;
}

void BM_FitCover(benchmark::State& state) {
    PixelBuffer src =
        sourceFor(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    for (auto _ : state) {
        PixelBuffer out = png::fitCover(src, static_cast<uint32_t>(state.range(2)),
                                        static_cast<uint32_t>(state.range(3)));
        benchmark::DoNotOptimize(out.rgba.data());
    }
    setBytes(state, src.rgba.size());
}

// The same cover fit with libvips: premultiply, Lanczos3 resize, centre crop, unpremultiply,
// back to 8 bits in memory.
void BM_VipsLanczos3(benchmark::State& state) {
    PixelBuffer src =
        sourceFor(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    const int w = static_cast<int>(state.range(2));
    const int h = static_cast<int>(state.range(3));
    const double s = std::max(double(w) / src.width, double(h) / src.height);
    for (auto _ : state) {
        VipsImage* in = vips_image_new_from_memory(
            src.rgba.data(), src.rgba.size(), static_cast<int>(src.width),
            static_cast<int>(src.height), 4, VIPS_FORMAT_UCHAR);
        VipsImage *pre = nullptr, *pre8 = nullptr, *resized = nullptr, *cropped = nullptr,
                  *un = nullptr, *cast = nullptr;
        // Premultiplied back to 8 bits, so the resize runs on the same data as ours.
        vips_premultiply(in, &pre, nullptr);
        vips_cast(pre, &pre8, VIPS_FORMAT_UCHAR, nullptr);
        vips_resize(pre8, &resized, s, "kernel", VIPS_KERNEL_LANCZOS3, nullptr);
        int left = (vips_image_get_width(resized) - w) / 2;
        int top = (vips_image_get_height(resized) - h) / 2;
        vips_crop(resized, &cropped, left, top, w, h, nullptr);
        vips_unpremultiply(cropped, &un, nullptr);
        vips_cast(un, &cast, VIPS_FORMAT_UCHAR, nullptr);
        size_t size = 0;
        void* mem = vips_image_write_to_memory(cast, &size);
        benchmark::DoNotOptimize(mem);
        g_free(mem);
        for (VipsImage* image : {in, pre, pre8, resized, cropped, un, cast}) {
            g_object_unref(image);
        }
    }
    setBytes(state, src.rgba.size());
}

// Resident memory in bytes from /proc/self/status: "VmRSS" now, "VmHWM" at its highest since
// the high-water mark was last reset.
size_t residentBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtoull(line.c_str() + prefix.size(), nullptr, 10) * 1024;
        }
    }
    return 0;
}

// The most memory work() adds while it runs, measured in a child process whose allocator maps
// every large block afresh and gives it back on free, so reused pages can't hide a peak.
size_t peakBytes(const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) {
        return 0;
    }
    const pid_t child = fork();
    if (child == 0) {
        mallopt(M_MMAP_THRESHOLD, 64 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024);
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const size_t before = residentBytes("VmRSS");
        work();
        const size_t peak = residentBytes("VmHWM") - before;
        ssize_t written = write(fds[1], &peak, sizeof peak);
        _exit(written == sizeof peak ? 0 : 1);
    }
    close(fds[1]);
    size_t peak = 0;
    if (child < 0 || read(fds[0], &peak, sizeof peak) != sizeof peak) {
        peak = 0;
    }
    close(fds[0]);
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    return peak;
}

// Decoding the photograph's own PNG and fitting it to another size, either in two steps or
// fused; peak_MB is the most memory one run adds to what was there before it.
void runDecodeAndFit(benchmark::State& state, bool fused) {
    const Bytes file = png::encode(photo());
    const auto width = static_cast<uint32_t>(state.range(0));
    const auto height = static_cast<uint32_t>(state.range(1));
    auto run = [&] {
        PixelBuffer out = fused
                              ? png::decodeCover(file.data(), file.size(), width, height)
                              : png::fitCover(png::decode(file.data(), file.size()), width, height);
        benchmark::DoNotOptimize(out.rgba.data());
    };
    for (auto _ : state) {
        run();
    }
    setBytes(state, photo().rgba.size());
    state.counters["peak_MB"] = peakBytes(run) / 1e6;
}

void BM_DecodeThenFitCover(benchmark::State& state) {
    runDecodeAndFit(state, false);
}

void BM_DecodeCover(benchmark::State& state) {
    runDecodeAndFit(state, true);
}

Bytes p3Profile() {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    cmsFreeToneCurve(curve);
    return bytes;
}

using Conversion = bool (*)(PixelBuffer&, const uint8_t*, size_t);

// One conversion of the photograph in place; the fresh copy it works on is made untimed.
void runConversion(benchmark::State& state, Conversion convert) {
    const Bytes profile = p3Profile();
    for (auto _ : state) {
        state.PauseTiming();
        PixelBuffer image = photo();
        state.ResumeTiming();
        convert(image, profile.data(), profile.size());
        benchmark::DoNotOptimize(image.rgba.data());
    }
    setBytes(state, photo().rgba.size());
}

void BM_DocumentToSrgb(benchmark::State& state) {
    runConversion(state, color::documentToSrgbInPlace);
}

void BM_SrgbToDocument(benchmark::State& state) {
    runConversion(state, color::srgbToDocumentInPlace);
}

// The same conversions through lcms2 alone, the road every profile took before the tables.
void BM_DocumentToSrgbLcms(benchmark::State& state) {
    runConversion(state, color::reference::documentToSrgbInPlace);
}

void BM_SrgbToDocumentLcms(benchmark::State& state) {
    runConversion(state, color::reference::srgbToDocumentInPlace);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_MemcpyWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Encode)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_LibpngEncodeDefault)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(2);
BENCHMARK(BM_DecodeOwnFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_LibpngDecodeOwnFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_DecodeLibpngFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_LibpngDecodeLibpngFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_FitCover)
    ->Args({6000, 4000, 1500, 1000})
    ->Args({2000, 1000, 1000, 1000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_VipsLanczos3)
    ->Args({6000, 4000, 1500, 1000})
    ->Args({2000, 1000, 1000, 1000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_DecodeThenFitCover)
    ->Args({1500, 1000})
    ->Args({5000, 3500})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_DecodeCover)
    ->Args({1500, 1000})
    ->Args({5000, 3500})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_DocumentToSrgb)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_SrgbToDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_DocumentToSrgbLcms)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_SrgbToDocumentLcms)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("VIPS_CONCURRENCY", "1", 1);  // one thread, like the code it is compared with
    if (VIPS_INIT(argv[0]) != 0) {
        return 1;
    }
    vips_cache_set_max(0);
    if (photo().empty()) {
        std::fprintf(stderr, "the background photos are missing (package mate-backgrounds)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
