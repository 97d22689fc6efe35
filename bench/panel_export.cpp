// The panel's frame export for a 24-megapixel frame, run by hand:
//   xvfb-run -a dbus-run-session -- build/bench/panel_export
// First the steps in this process (copy, PNG encode, base64, one page call of a 4 MiB piece, and
// the lanes' own: a preview for the panel's stage, a look over the whole frame, the look's file
// encoded and decoded again as the apply road does), then the real panel with a page that
// measures from "export-frame" to the decoded frame, and the panel's peak memory meanwhile.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/png.h"
#include "panel/bridge/base64.h"
#include "panel/bridge/color_look.h"
#include "panel/bridge/frame_preview.h"
#include "panel/bridge/page_scripts.h"
#include "tests/panel/panel_process.h"

#include "bench/imaging_mosaic.h"

namespace {

namespace fs = std::filesystem;

double threadCpuMs() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Timing {
    double wallMs;  // elapsed, all threads
    double cpuMs;   // processor time of the calling thread, unaffected by other work
};

// Medians over the runs.
template <typename F>
Timing median(int runs, F&& body) {
    std::vector<double> walls, cpus;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        double cpuStart = threadCpuMs();
        body();
        cpus.push_back(threadCpuMs() - cpuStart);
        walls.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

// A photograph where one is available; otherwise smooth gradients with fine noise, which
// compress roughly like one.
PixelBuffer benchFrame() {
    PixelBuffer photo = buildPhotoMosaic();
    if (!photo.empty()) {
        return photo;
    }
    PixelBuffer frame{6000, 4000, std::vector<uint8_t>(size_t{6000} * 4000 * 4)};
    uint32_t seed = 1;
    for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint8_t* p = &frame.rgba[(size_t{y} * frame.width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / frame.width + (seed >> 29));
            p[1] = static_cast<uint8_t>(y * 255 / frame.height + ((seed >> 26) & 7));
            p[2] = static_cast<uint8_t>((x + y) * 127 / frame.width + ((seed >> 23) & 7));
            p[3] = 255;
        }
    }
    return frame;
}

long statusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

void inProcess(const PixelBuffer& frame) {
    std::printf("frame %ux%u (%.1f MP); medians\n", frame.width, frame.height,
                frame.width * double(frame.height) / 1e6);
    Timing copy = median(5, [&] {
        PixelBuffer copy = frame;
        if (copy.rgba.empty())
            std::abort();
    });
    std::vector<uint8_t> file;
    Timing encode = median(3, [&] { file = png::encode(frame); });
    Timing base64Time = median(3, [&] {
        constexpr size_t kPieceBytes = 3 * 1024 * 1024;
        for (size_t offset = 0; offset < file.size(); offset += kPieceBytes) {
            std::string piece =
                base64::encode(file.data() + offset, std::min(kPieceBytes, file.size() - offset));
            if (piece.empty())
                std::abort();
        }
    });
    std::string piece = base64::encode(file.data(), std::min<size_t>(file.size(), 3 * 1024 * 1024));
    nlohmann::json arguments = nlohmann::json::array({"bench-1", piece});
    Timing call = median(21, [&] {
        std::string script = pageCallScript("__lumivoFrameChunk", arguments);
        if (script.size() < piece.size())
            std::abort();
    });
    std::printf("                  wall ms   thread cpu ms\n");
    std::printf("copy            %8.1f   %8.1f\n", copy.wallMs, copy.cpuMs);
    std::printf("png encode      %8.1f   %8.1f   (%zu bytes)\n", encode.wallMs, encode.cpuMs,
                file.size());
    std::printf("base64          %8.1f   %8.1f   (%zu characters, %zu pieces)\n", base64Time.wallMs,
                base64Time.cpuMs, (file.size() + 2) / 3 * 4,
                (file.size() + 3 * 1024 * 1024 - 1) / (3 * 1024 * 1024));
    std::printf("callAck 4 MiB   %8.3f   %8.3f   (page call script of one piece)\n", call.wallMs,
                call.cpuMs);

    // The lanes. Thread CPU time leaves out the helper thread of the two-thread steps.
    const frame_preview::Size stage = frame_preview::fitWithin(frame.width, frame.height, 406, 430);
    PixelBuffer reduced;
    Timing reduce = median(5, [&] { reduced = frame_preview::reduce(frame, stage); });
    Timing finish = median(5, [&] {
        if (frame_preview::finish(reduced, stage).empty())
            std::abort();
    });
    nlohmann::json invert = nlohmann::json::array();
    for (int v = 0; v < 256; ++v) {
        invert.push_back(255 - v);
    }
    const ColorLook curves = *parseColorLook({{"steps", {{{"curves", {invert, invert, invert}}}}}});
    const ColorLook sepia = *parseColorLook(
        {{"steps", {{{"matrix", {0.393, 0.769, 0.189, 0.349, 0.686, 0.168, 0.272, 0.534, 0.131}}}}},
         {"strength", 0.8}});
    PixelBuffer looked;
    Timing curvesTime = median(3, [&] { looked = applyColorLook(frame, curves); });
    Timing matrixTime = median(3, [&] {
        if (applyColorLook(frame, sepia).empty())
            std::abort();
    });
    std::vector<uint8_t> lookFile;
    Timing lookEncode = median(3, [&] { lookFile = png::encode(looked); });
    Timing lookDecode = median(3, [&] {
        if (png::decodeFile(lookFile.data(), lookFile.size()).image.empty())
            std::abort();
    });
    std::printf("preview reduce  %8.1f   %8.1f   (under the frame lock, to %ux%u)\n", reduce.wallMs,
                reduce.cpuMs, reduced.width, reduced.height);
    std::printf("preview finish  %8.1f   %8.1f   (%ux%u, the stage of the panel's window)\n",
                finish.wallMs, finish.cpuMs, stage.width, stage.height);
    std::printf("look: curves    %8.1f   %8.1f\n", curvesTime.wallMs, curvesTime.cpuMs);
    std::printf("look: matrix    %8.1f   %8.1f   (blended)\n", matrixTime.wallMs, matrixTime.cpuMs);
    std::printf("look encode     %8.1f   %8.1f   (%zu bytes)\n", lookEncode.wallMs,
                lookEncode.cpuMs, lookFile.size());
    std::printf("look decodeFile %8.1f   %8.1f   (the apply road's check)\n", lookDecode.wallMs,
                lookDecode.cpuMs);
}

void withPanel(const PixelBuffer& frame, const std::string& binaryDir,
               const std::string& sourceDir) {
    fs::path temp = fs::temp_directory_path() / ("lumivo-bench-" + std::to_string(::getpid()));
    fs::path bundle = temp / "LumivoAffinity.app";
    fs::path built = fs::path(binaryDir) / "LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app";
    fs::create_directories(bundle / "Contents/Linux");
    fs::create_directories(bundle / "Contents/Resources/panel");
    fs::copy_file(built / "Contents/Info.ini", bundle / "Contents/Info.ini");
    fs::copy_file(built / "Contents/Linux/LumivoAffinity",
                  bundle / "Contents/Linux/LumivoAffinity");
    fs::copy_file(fs::path(sourceDir) / "bench/panel_export_page.html",
                  bundle / "Contents/Resources/panel/index.html");
    fs::path spool = temp / "spool/com.example.host";
    fs::create_directories(spool);
    std::vector<uint8_t> file = png::encode(frame);
    std::ofstream(spool / "input-1.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    PanelProcess panel((bundle / "Contents/Linux/LumivoAffinity").string(),
                       {(spool / "input-1.png").string(), spool.string()});
    long startRss = -1;
    bool done = false;
    for (int run = 1; run <= 3; ++run) {
        auto line =
            panel.waitForLine("bench run=" + std::to_string(run) + " ", std::chrono::seconds(180));
        if (!line) {
            std::printf("panel: no answer for run %d\n%s", run, panel.allOutput().c_str());
            break;
        }
        if (run == 1) {
            startRss = statusKb(panel.pid(), "VmRSS:");
        }
        std::printf("%s\n", line->c_str());
        done = run == 3;
    }
    if (done) {
        std::printf("panel peak memory (VmHWM) %.0f MB, resident after the exports %.0f MB\n",
                    statusKb(panel.pid(), "VmHWM:") / 1024.0,
                    statusKb(panel.pid(), "VmRSS:") / 1024.0);
        (void)startRss;
    }
    std::error_code ignored;
    fs::remove_all(temp, ignored);
}

}  // namespace

int main() {
    PixelBuffer frame = benchFrame();
    inProcess(frame);
    withPanel(frame, LUMIVO_BINARY_DIR, LUMIVO_SOURCE_DIR);
    return 0;
}
