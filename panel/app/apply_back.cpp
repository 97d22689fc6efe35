#include "panel/app/apply_back.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/png.h"
#include "imaging/png_text.h"
#include "panel/app/result_decode.h"
#include "panel/bridge/base64.h"
#include "plugin/picture_mark.h"
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

void ApplyBack::handleApplyResultFrom(const nlohmann::json& ackId, ResultProducer produce) {
    applyQueue_().post([this, ackId, produce = std::move(produce)] {
        finishJob(ackId, [&](Outcome& outcome) { applyProduced(produce, outcome); });
    });
}

void ApplyBack::handleAccessibilityRepair(const nlohmann::json& ackId) {
    bookkeeping_.repair([this, ackId](bool held) {
        page_.callAck(kAccessibilityAck, nlohmann::json::array({ackId, held}));
    });
}

void ApplyBack::runApplyJob(const nlohmann::json& ackId, std::string base64) {
    finishJob(ackId, [&](Outcome& outcome) { applyResult(std::move(base64), outcome); });
}

void ApplyBack::finishJob(const nlohmann::json& ackId, const std::function<void(Outcome&)>& apply) {
    Outcome outcome;
    try {
        apply(outcome);
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
    applyResultFile(std::move(bytes), outcome);
}

void ApplyBack::applyProduced(const ResultProducer& produce, Outcome& outcome) {
    ProducedResult produced = produce();
    if (!produced.file) {
        outcome.status = produced.refusal;
        return;
    }
    // Judged once the result is made: making it may be what exported its frame.
    if (panel_.lastExportIsFromAnotherSource()) {
        outcome.status = apply_status::kHostChanged;
        return;
    }
    applyResultFile(std::move(produced.file), outcome);
}

void ApplyBack::applyResultFile(std::optional<std::vector<uint8_t>> bytes, Outcome& outcome) {
    png::DecodedFile frame = decodeResultForFrame(*bytes, panel_.frameSize());
    if (frame.image.empty()) {
        return;
    }
    spool::CheckedDirectory checked = spool::checkDirectory(panel_.spoolDirectory());
    if (!checked.directory) {
        return;
    }
    // The file holds the bytes the page sent, not re-encoded, with the mark of the picture the
    // page made it from: the plug-in applies it to that picture only.
    const std::optional<PictureMark> mark = panel_.resultMark();
    std::optional<png::TextSplice> marked;
    if (mark) {
        marked = picture_mark::spliced(bytes->data(), bytes->size(), *mark);
        if (!marked) {
            // Bytes of another kind (a JPEG from the service) can't carry the mark as they are:
            // their pixels go as a PNG of the panel's own, which can.
            std::vector<uint8_t> encoded = png::encode(frame.image);
            if (encoded.empty()) {
                return;
            }
            *bytes = std::move(encoded);
            frame.standsForEncode = true;
            marked = picture_mark::spliced(bytes->data(), bytes->size(), *mark);
            if (!marked) {
                return;
            }
        }
    }
    const std::string name = spool::fileName(spool::kResultPrefix, wallClockSeconds_());
    if (!spool::writeAtomically(
            *checked.directory, name,
            marked ? marked->pieces() : std::vector{std::span<const uint8_t>(*bytes)})) {
        return;
    }
    marked.reset();
    spool::keepNewestFiles(*checked.directory, spool::kResultPrefix, kKeptResultFiles);
    const std::string path = checked.directory->pathOf(name);
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
