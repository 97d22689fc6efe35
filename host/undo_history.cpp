#include "host/undo_history.h"

#include <utility>

void UndoHistory::record(std::string name, Document before) {
    if (steps_.size() == kMaxSteps) {
        steps_.erase(steps_.begin());
    }
    steps_.push_back(Step{std::move(name), std::move(before)});
}

std::optional<std::string> UndoHistory::nextUndo() const {
    if (steps_.empty()) {
        return std::nullopt;
    }
    return steps_.back().name;
}

bool UndoHistory::undo(Document& document) {
    if (steps_.empty()) {
        return false;
    }
    document = std::move(steps_.back().before);
    steps_.pop_back();
    return true;
}
