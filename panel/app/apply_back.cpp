#include "panel/app/apply_back.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/png.h"
#include "panel/app/result_decode.h"
#include "panel/bridge/base64.h"
#include "plugin/spool.h"

ApplyBack::ApplyBack(PageCaller& page, PanelState& panel, std::function<TaskQueue&()> applyQueue,
                     AutoApplier& applier, AccessibilityBookkeeping& bookkeeping,
                     std::function<double()> wallClockSeconds)
    : page_(page),
      panel_(panel),
      applyQueue_(std::move(applyQueue)),
      applier_(applier),
      bookkeeping_(bookkeeping),
      wallClockSeconds_(std::move(wallClockSeconds)) {}

void ApplyBack::handleApplyResult(const nlohmann::json& ackId, std::string base64) {
    applyQueue_().post([this, ackId, base64 = std::move(base64)]() mutable {
        runApplyJob(ackId, std::move(base64));
    });
}

void ApplyBack::handleAccessibilityRepair(const nlohmann::json& ackId) {
    bookkeeping_.repair([this, ackId](bool held) {
        page_.callAck(kAccessibilityAck, nlohmann::json::array({ackId, held}));
    });
}

void ApplyBack::runApplyJob(const nlohmann::json& ackId, std::string base64) {
    Outcome outcome;
    try {
        applyResult(std::move(base64), outcome);
    } catch (...) {
        // Nothing may end a job without its answer. Once the file is written the page hears
        // "press-failed", so it asks the user to run the filter by hand.
        if (outcome.ok) {
            outcome.status = apply_status::kPressFailed;
        }
    }
    try {
        page_.callAck(kImportAck, nlohmann::json::array({ackId, outcome.ok, outcome.status}));
    } catch (...) {
        // An answer that can't even be built is dropped; the queue must go on.
    }
}

void ApplyBack::applyResult(std::string base64, Outcome& outcome) {
    // A result made from one editor's frame must not land in another editor's document.
    if (panel_.lastExportIsFromAnotherSource()) {
        outcome.status = apply_status::kHostChanged;
        return;
    }
    std::optional<std::vector<uint8_t>> bytes = base64::decode(base64);
    // The text, the bytes and the frame of a large result are each big; none is held longer
    // than it is needed, least of all through the wait for the editor.
    std::string().swap(base64);
    if (!bytes) {
        return;
    }
    png::DecodedFile frame = decodeResultForFrame(*bytes, panel_.frameSize());
    if (frame.image.empty()) {
        return;
    }
    std::string directory = panel_.spoolDirectory();
    if (directory.empty() || spool::checkDirectory(directory)) {
        return;
    }
    if (directory.back() != '/') {
        directory += '/';
    }
    // The file holds exactly the bytes the page sent; it is not re-encoded.
    const std::string path = directory + spool::fileName(spool::kResultPrefix, wallClockSeconds_());
    if (!spool::writeAtomically(path, bytes->data(), bytes->size())) {
        return;
    }
    spool::keepNewestFiles(directory, spool::kResultPrefix, kKeptResultFiles);
    outcome.ok = true;
    // Bytes that hold exactly the result's pixels stay with it as its file, for the page's
    // next export; other bytes are let go.
    FrameFile file;
    if (frame.standsForEncode) {
        file = std::make_shared<const std::vector<uint8_t>>(std::move(*bytes));
    }
    bytes.reset();
    panel_.retargetAtFrame(std::move(frame.image), std::move(file));
    outcome.status = applier_.autoApplyAndAwaitConsumption(path).value_or("");
}
