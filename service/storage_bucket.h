#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The cloud storage bucket that uploads land in. An object exists from the moment its upload
// slot is handed out; its bytes arrive with the signed PUT. Only the newest few objects are
// kept, so memory stays bounded however many uploads come. Main thread only.
class StorageBucket {
  public:
    using Bytes = std::shared_ptr<const std::vector<uint8_t>>;
    struct Object {
        std::string account;
        std::string contentType;
        Bytes bytes;  // null until uploaded
    };

    // Reserves the object `name` for the account's upload of that content type.
    void reserve(const std::string& name, const std::string& account,
                 const std::string& contentType);
    // Does nothing when no such object was reserved (or it has been forgotten).
    void fill(const std::string& name, std::vector<uint8_t> bytes);
    const Object* find(const std::string& name) const;

  private:
    std::map<std::string, Object> objects_;
    std::deque<std::string> order_;
};
