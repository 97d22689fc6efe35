#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "panel/app/accessibility_bookkeeping.h"
#include "panel/app/apply_auto_press.h"
#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "panel/bridge/panel_state.h"
#include "platform/task_queue.h"

namespace apply_status {
// The page's last export showed another editor's frame than the current one; nothing was written.
inline constexpr char kHostChanged[] = "host-changed";
}  // namespace apply_status

// Serves "apply-result" and "accessibility-repair". The requests arrive on the main thread;
// each result becomes one job on the apply queue, and every job ends in exactly one
// "__lumivoImportAck". Must outlive every job it queued (the panel keeps it for the whole run).
class ApplyBack final : public ApplyRequests {
  public:
    static constexpr char kImportAck[] = "__lumivoImportAck";
    static constexpr char kAccessibilityAck[] = "__lumivoAccessibilityAck";
    // Result files kept in a spool directory: the newest, and a few before it that a filter run
    // may be reading right now. Older ones can never be applied (a run takes the newest) and go.
    static constexpr size_t kKeptResultFiles = 4;

    // `applyQueue` is asked for the queue on each result, so it can create it on first use.
    // `wallClockSeconds` names the result files (seconds since 1970).
    ApplyBack(PageCaller& page, PanelState& panel, std::function<TaskQueue&()> applyQueue,
              AutoApplier& applier, AccessibilityBookkeeping& bookkeeping,
              std::function<double()> wallClockSeconds);

    void handleApplyResult(const nlohmann::json& ackId, std::string base64) override;
    void handleApplyResultFrom(const nlohmann::json& ackId, ResultProducer produce) override;
    void handleAccessibilityRepair(const nlohmann::json& ackId) override;

    // One apply job. Apply queue only.
    void runApplyJob(const nlohmann::json& ackId, std::string base64);

  private:
    struct Outcome {
        bool ok = false;
        std::string status;
    };
    // Runs `apply`, then answers once, whatever happened.
    void finishJob(const nlohmann::json& ackId, const std::function<void(Outcome&)>& apply);
    // Each fills `outcome` as it goes, so a job cut short still knows whether its file was
    // written. The page's text and a produced file both end in applyResultFile.
    void applyResult(std::string base64, Outcome& outcome);
    void applyProduced(const ResultProducer& produce, Outcome& outcome);
    void applyResultFile(std::optional<std::vector<uint8_t>> bytes, Outcome& outcome);

    PageCaller& page_;
    PanelState& panel_;
    std::function<TaskQueue&()> applyQueue_;
    AutoApplier& applier_;
    AccessibilityBookkeeping& bookkeeping_;
    std::function<double()> wallClockSeconds_;
};
