// The real panel with pages of other origins: a local HTTPS server serves them under host names
// that a private mount namespace maps to a loopback address of the test's own, on port 443 and
// on another port, with a certificate from a test CA added to the system's trust bundle there.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumivo_test_paths.h"
#include "panel_install.h"
#include "process_memory.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kForeignPages = std::string(LUMIVO_SOURCE_DIR) + "/tests/panel/foreign";

// The page server, its other port, and a panel that runs where the server's names and CA are
// known. The server's address is one of loopback's many, picked by process id, so tests that run
// at the same time each have their own port 443.
struct ForeignRig {
    PanelInstall install{kProbePage};
    std::string serverDir = install.temp / "server";
    std::string address = "127.77." + std::to_string((::getpid() >> 8) % 250 + 2) + "." +
                          std::to_string(::getpid() % 250 + 2);
    std::unique_ptr<ChildProcess> server;
    std::string port;

    ForeignRig() {
        fs::create_directories(serverDir);
        const nlohmann::json pages = {
            {"foreign.example/page", kForeignPages + "/page.html"},
            {"foreign.example/frame", kForeignPages + "/frame.html"},
            {"auth.lumivo.example/elsewhere", kForeignPages + "/elsewhere.html"},
            {"auth.lumivo.example/back", kForeignPages + "/back.html"},
        };
        writeText(serverDir + "/pages.json", pages.dump());
        server = std::make_unique<ChildProcess>(
            "python3",
            std::vector<std::string>{std::string(LUMIVO_SOURCE_DIR) + "/tests/panel/page_server.py",
                                     serverDir, serverDir + "/pages.json", address},
            std::vector<std::string>{}, STDOUT_FILENO);
        if (auto ready = server->waitForLine("READY ", 30s)) {
            port = ready->substr(6);
        }
        writeText(serverDir + "/hosts", readText("/etc/hosts") + "\n" + address +
                                            " foreign.example auth.lumivo.example\n");
        writeText(serverDir + "/bundle.pem",
                  readText("/etc/ssl/certs/ca-certificates.crt") + readText(serverDir + "/ca.pem"));
        install.launcher = {"unshare",
                            "--mount",
                            "sh",
                            "-c",
                            "mount --bind \"$1\" /etc/hosts && "
                            "mount --bind \"$2\" /etc/ssl/certs/ca-certificates.crt && "
                            "shift 2 && exec \"$@\"",
                            "sh",
                            serverDir + "/hosts",
                            serverDir + "/bundle.pem"};
    }
};

TEST(PageOrigin, ForeignDocumentsFramesAndPortsGetNoAnswerAndTheServiceOriginWorksAgain) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a private mount namespace for the test's host names needs root";
    }
    ForeignRig rig;
    ASSERT_FALSE(rig.port.empty()) << rig.server->allOutput();
    writeSolidPng(rig.install.spool + "/input-1.png", 4, 4, {9, 9, 9, 255});
    auto panel = rig.install.start({rig.install.spool + "/input-1.png", rig.install.spool},
                                   {"LUMIVO_PANEL_AUTOTEST=foreign:" + rig.port});

    EXPECT_TRUE(panel->waitForLine("probe frame first")) << panel->allOutput();
    // The foreign page ran and tried everything, the service's host on another port did the
    // same, and then the page went back to the service's origin, where the bridge serves again.
    // A foreign frame or page, even with the service's lane key, gets no preview it can read.
    const std::string foreign = "GET foreign.example:" + rig.port;
    EXPECT_TRUE(rig.server->waitForLine(foreign + " /ran-frame?refused=3&lane=refused"))
        << rig.server->allOutput();
    EXPECT_TRUE(rig.server->waitForLine(foreign + " /ran-data?lane=refused"))
        << rig.server->allOutput();
    EXPECT_TRUE(rig.server->waitForLine(foreign + " /ran-page?document=string"))
        << rig.server->allOutput();
    EXPECT_TRUE(rig.server->waitForLine("GET auth.lumivo.example:" + rig.port + " /ran-elsewhere"))
        << rig.server->allOutput();
    EXPECT_TRUE(rig.server->waitForLine("GET auth.lumivo.example:443 /back"))
        << rig.server->allOutput();
    EXPECT_TRUE(rig.server->waitForLine(foreign + " /ran-lanes?lane=refused"))
        << rig.server->allOutput();
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "back on the service")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "back export answered id=back-1 ok=true"))
        << panel->allOutput();

    for (const auto& line : rig.server->lines()) {
        EXPECT_EQ(line.find("answered"), std::string::npos) << line;
        EXPECT_EQ(line.find("served"), std::string::npos) << line;
        EXPECT_EQ(line.rfind("PUT", 0), std::string::npos) << "the frame went up: " << line;
    }
    for (const auto& line : panel->lines()) {
        for (const char* foreign :
             {"foreign-said", "foreign-forged", "framed", "data-framed", "elsewhere-said"}) {
            EXPECT_EQ(line.find(foreign), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(entryNames(rig.install.spool).empty()) << "a foreign result was written";
}

TEST(PageOrigin, AResultLongerThanTheFrameCouldNeedIsRefusedAndCostsLittle) {
    // 96 MiB of base64 for a 4 x 4 frame, as a valid PNG: the panel drops it piece by piece
    // as it arrives and answers as for a result that doesn't decode. Kept, it would cost the
    // panel its text, its bytes and their copies, some 300 MiB.
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 4, 4, {9, 9, 9, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool},
                               {"LUMIVO_PANEL_AUTOTEST=big-result:24"});
    ASSERT_TRUE(panel->waitForLine("probe frame first")) << panel->allOutput();
    const uint64_t before = peakResidentKiB(panel->pid());
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "probe big-result ok=false status=\"\"", 120s))
        << panel->allOutput();
    const uint64_t grown = peakResidentKiB(panel->pid()) - before;
    EXPECT_LT(grown, uint64_t{96} << 10) << "KiB more at the peak than before the flood";
    EXPECT_TRUE(entryNames(install.spool).empty()) << "no result file was written";
}

TEST(PageOrigin, TheServiceOriginSurvivesAFloodOfResultPieces) {
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 4, 4, {9, 9, 9, 255});
    auto panel = install.start({install.spool + "/input-1.png", install.spool},
                               {"LUMIVO_PANEL_AUTOTEST=flood"});
    EXPECT_TRUE(panel->waitForLine("probe frame after-flood 4x4", 90s)) << panel->allOutput();
    EXPECT_TRUE(panel->running());
}

}  // namespace
