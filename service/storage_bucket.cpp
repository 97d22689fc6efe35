#include "service/storage_bucket.h"

#include <utility>

namespace {

// Each object may hold a full-size frame; a handful covers every creation under way.
constexpr size_t kMaxObjects = 8;

}  // namespace

void StorageBucket::reserve(const std::string& name, const std::string& account,
                            const std::string& contentType) {
    objects_[name] = Object{account, contentType, nullptr};
    order_.push_back(name);
    while (order_.size() > kMaxObjects) {
        objects_.erase(order_.front());
        order_.pop_front();
    }
}

StorageBucket::Claim StorageBucket::claim(const std::string& name) {
    auto found = objects_.find(name);
    if (found == objects_.end()) {
        return Claim::unknown;
    }
    if (found->second.taken) {
        return Claim::taken;
    }
    found->second.taken = true;
    return Claim::accepted;
}

void StorageBucket::fill(const std::string& name, std::vector<uint8_t> bytes) {
    auto found = objects_.find(name);
    if (found != objects_.end()) {
        found->second.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    }
}

const StorageBucket::Object* StorageBucket::find(const std::string& name) const {
    auto found = objects_.find(name);
    return found == objects_.end() ? nullptr : &found->second;
}
