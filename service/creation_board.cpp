#include "service/creation_board.h"

#include <algorithm>
#include <utility>

namespace {

constexpr size_t kMaxCreations = 32;

}  // namespace

void CreationBoard::add(const std::string& id, const std::string& account,
                        const std::string& effect) {
    creations_[id] = Creation{account, effect, State::queued, 0, {}, nullptr};
    order_.push_back(id);
    while (order_.size() > kMaxCreations) {
        creations_.erase(order_.front());
        order_.pop_front();
    }
}

const CreationBoard::Creation* CreationBoard::find(const std::string& id,
                                                   const std::string& account) const {
    auto found = creations_.find(id);
    if (found == creations_.end() || found->second.account != account) {
        return nullptr;
    }
    return &found->second;
}

std::shared_ptr<const std::vector<uint8_t>> CreationBoard::result(const std::string& id) const {
    auto found = creations_.find(id);
    return found == creations_.end() ? nullptr : found->second.result;
}

void CreationBoard::progress(const std::string& id, double fraction) {
    auto found = creations_.find(id);
    if (found == creations_.end() || found->second.state == State::done ||
        found->second.state == State::failed) {
        return;
    }
    found->second.state = State::running;
    found->second.progress = std::clamp(fraction, found->second.progress, 1.0);
}

void CreationBoard::finish(const std::string& id, std::vector<uint8_t> png) {
    auto found = creations_.find(id);
    if (found == creations_.end()) {
        return;
    }
    found->second.state = State::done;
    found->second.progress = 1;
    found->second.result = std::make_shared<const std::vector<uint8_t>>(std::move(png));
}

void CreationBoard::fail(const std::string& id, const std::string& reason) {
    auto found = creations_.find(id);
    if (found == creations_.end()) {
        return;
    }
    found->second.state = State::failed;
    found->second.reason = reason;
}

const char* stateName(CreationBoard::State state) {
    switch (state) {
        case CreationBoard::State::queued:
            return "queued";
        case CreationBoard::State::running:
            return "running";
        case CreationBoard::State::done:
            return "done";
        case CreationBoard::State::failed:
            return "failed";
    }
    return "failed";
}
