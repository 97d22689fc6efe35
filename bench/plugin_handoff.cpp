// One filter run's hand-off for a 24-megapixel filter area, phase by phase, next to the same
// path built on libpng's default encoder; then the apply path. Run by hand:
//   build/bench/plugin_handoff [image.jpg|png]
// Figures are wall-clock milliseconds, the median of several runs.

#include <lcms2.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/image_file.h"
#include "imaging/color.h"
#include "imaging/png.h"
#include "imaging/png_text.h"
#include "platform/linux/dbus_send_notifier.h"
#include "plugin/host_mark.h"
#include "plugin/host_pixels.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;
constexpr int kRuns = 5;
constexpr char kDefaultImage[] = "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg";

double medianMs(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        body();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A wide-gamut RGB profile, so the conversion does real work.
std::vector<uint8_t> displayProfile() {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    std::vector<uint8_t> bytes(length);
    cmsSaveProfileToMem(profile, bytes.data(), &length);
    cmsCloseProfile(profile);
    return bytes;
}

// The editor's layer: the picture mirrored out to the filter area, 3 planes, padded rows.
std::vector<uint8_t> hostLayer(const Document& picture, size_t rowBytes) {
    std::vector<uint8_t> layer(rowBytes * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint32_t period = 2 * picture.height;
        uint32_t sy = y % period;
        sy = sy < picture.height ? sy : period - 1 - sy;
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint32_t xPeriod = 2 * picture.width;
            uint32_t sx = x % xPeriod;
            sx = sx < picture.width ? sx : xPeriod - 1 - sx;
            std::copy_n(picture.row(sy) + sx * picture.channels, 3, &layer[y * rowBytes + x * 3]);
        }
    }
    return layer;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// What the hand-off would cost with libpng's own encoder at its default settings.
std::vector<uint8_t> libpngDefaultEncode(const PixelBuffer& image) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(image.height);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, &appendBytes, nullptr);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGBA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        for (uint32_t y = 0; y < image.height; ++y) {
            rows[y] = const_cast<png_bytep>(image.rgba.data() + size_t{y} * image.width * 4);
        }
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : kDefaultImage;
    std::optional<Document> picture = openImage(source, false);
    if (!picture) {
        fprintf(stderr, "cannot open %s\n", source.c_str());
        return 1;
    }
    const size_t rowBytes = size_t{kWidth} * 3 + 24;
    std::vector<uint8_t> layer = hostLayer(*picture, rowBytes);
    std::vector<uint8_t> written(layer.size());
    const std::vector<uint8_t> profile = displayProfile();

    FilterRecord record{};
    record.inData = layer.data();
    record.outData = written.data();
    record.inRowBytes = record.outRowBytes = static_cast<int32>(rowBytes);

    const std::string work =
        (std::filesystem::temp_directory_path() / ("lumivo-bench-" + std::to_string(getpid())))
            .string();
    const spool::CheckedDirectory spoolDir =
        spool::checkDirectory(work + "/Lumivo/affinity-8bf-spool/bench", spool::Missing::create);
    if (!spoolDir.directory) {
        fprintf(stderr, "%s\n", spoolDir.refusal.c_str());
        return 1;
    }
    const std::string& directory = spoolDir.directory->path();
    DbusSendNotifier notifier;
    const bool bus = notifier.post({directory + "/input-0.png", false, getpid()});

    PixelBuffer input;
    input.width = kWidth;
    input.height = kHeight;
    input.rgba.resize(size_t{kWidth} * kHeight * 4);
    std::vector<uint8_t> ours;
    std::vector<uint8_t> theirs;
    int file = 0;

    PictureMark mark;
    const double markMs = medianMs(kRuns, [&] {
        mark = markOfPlanes(layer.data(), static_cast<ptrdiff_t>(rowBytes), kWidth, kHeight, 3);
    });
    auto copy = [&] { copyFromHost(record, 3, input); };
    auto convert = [&] {
        copy();  // conversion works in place: start from the host's pixels each time
        color::documentToSrgbInPlace(input, profile.data(), profile.size());
    };
    const double copyMs = medianMs(kRuns, copy);
    const double convertMs = medianMs(kRuns, convert) - copyMs;
    const double encodeMs = medianMs(kRuns, [&] { ours = png::encode(input); });
    const double baselineEncodeMs = medianMs(1, [&] { theirs = libpngDefaultEncode(input); });
    // Written as the hand-off writes it: the encoding with the mark spliced in after its header.
    auto writeFile = [&](const std::vector<uint8_t>& bytes) {
        const std::string name = spool::fileName("input-", ++file);
        std::optional<png::TextSplice> marked =
            picture_mark::spliced(bytes.data(), bytes.size(), mark);
        spool::writeAtomically(*spoolDir.directory, name, marked->pieces());
        spool::removeFile(*spoolDir.directory, name);
    };
    const double writeMs = medianMs(kRuns, [&] { writeFile(ours); });
    const double baselineWriteMs = medianMs(kRuns, [&] { writeFile(theirs); });
    const double postMs = bus ? medianMs(kRuns,
                                         [&] {
                                             notifier.post({directory + "/input-1.png", false, 1});
                                         })
                              : 0;

    const double handOff = markMs + copyMs + convertMs + encodeMs + writeMs + postMs;
    const double baseline =
        markMs + copyMs + convertMs + baselineEncodeMs + baselineWriteMs + postMs;
    printf("hand-off of a %ux%u filter area (%s)\n", kWidth, kHeight, source.c_str());
    printf("  %-22s %9s %9s\n", "phase", "ours", "libpng");
    printf("  %-22s %9.1f %9.1f\n", "mark the host's planes", markMs, markMs);
    printf("  %-22s %9.1f %9.1f\n", "copy from host", copyMs, copyMs);
    printf("  %-22s %9.1f %9.1f\n", "colour conversion", convertMs, convertMs);
    printf("  %-22s %9.1f %9.1f\n", "encode", encodeMs, baselineEncodeMs);
    printf("  %-22s %9.1f %9.1f\n", "write + rename", writeMs, baselineWriteMs);
    printf("  %-22s %9.1f %9.1f%s\n", "post signal", postMs, postMs, bus ? "" : "  (no bus)");
    printf("  %-22s %9.1f %9.1f   ratio %.3f\n", "total ms", handOff, baseline, handOff / baseline);
    printf("  %-22s %9.1f %9.1f\n", "file MB", ours.size() / 1e6, theirs.size() / 1e6);

    // The apply path: a result of another size, decoded, fitted, converted back, copied in.
    const std::vector<uint8_t> result = [&] {
        PixelBuffer smaller = png::fitCover(input, 5000, 3500);
        return png::encode(smaller);
    }();
    PixelBuffer decoded;
    PixelBuffer fitted;
    const double decodeMs =
        medianMs(kRuns, [&] { decoded = png::decode(result.data(), result.size()); });
    const double fitMs = medianMs(kRuns, [&] { fitted = png::fitCover(decoded, kWidth, kHeight); });
    PixelBuffer back;
    const double backMs = medianMs(kRuns, [&] {
        back = fitted;
        color::srgbToDocumentInPlace(back, profile.data(), profile.size());
    });
    const double copyBackMs = medianMs(kRuns, [&] { copyBufferToHost(back, 3, record); });
    const double writtenMarkMs = medianMs(kRuns, [&] {
        mark = markOfPlanes(written.data(), static_cast<ptrdiff_t>(rowBytes), kWidth, kHeight, 3);
    });
    const double bufferCopyMs = medianMs(kRuns, [&] { back = fitted; });
    printf("apply of a 5000x3500 result\n");
    printf("  %-22s %9.1f\n", "decode", decodeMs);
    printf("  %-22s %9.1f\n", "cover fit", fitMs);
    printf("  %-22s %9.1f\n", "convert back", backMs - bufferCopyMs);
    printf("  %-22s %9.1f\n", "copy into host", copyBackMs);
    printf("  %-22s %9.1f\n", "mark what was written", writtenMarkMs);
    printf("  %-22s %9.1f\n", "total ms",
           decodeMs + fitMs + backMs - bufferCopyMs + copyBackMs + writtenMarkMs);

    // The mark alone, for 1 and 24 megapixels of 3 and 4 planes, padded rows as an editor has
    // them and touching rows: what every run adds to find out which picture it works on.
    printf("mark of the host's planes\n");
    for (const auto& [width, height] : {std::pair{1250u, 800u}, std::pair{kWidth, kHeight}}) {
        for (uint32_t planes : {3u, 4u}) {
            for (size_t padding : {size_t{0}, size_t{24}}) {
                const size_t stride = size_t{width} * planes + padding;
                std::vector<uint8_t> planesBytes(stride * height, 7);
                const double ms = medianMs(kRuns, [&] {
                    mark = markOfPlanes(planesBytes.data(), static_cast<ptrdiff_t>(stride), width,
                                        height, planes);
                });
                printf("  %5.1f MP, %u planes, %2zu bytes padding %9.2f ms  %6.1f GB/s\n",
                       width * double(height) / 1e6, planes, padding, ms,
                       static_cast<double>(width) * height * planes / ms / 1e6);
            }
        }
    }

    std::filesystem::remove_all(work);
    return 0;
}
