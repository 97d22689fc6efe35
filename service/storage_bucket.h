#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The cloud storage bucket that uploads land in. An object exists from the moment its upload
// slot is handed out; its bytes arrive with the signed PUT, which its slot takes once. Only the
// newest few objects are kept, so memory stays bounded however many uploads come. Main thread
// only.
class StorageBucket {
  public:
    using Bytes = std::shared_ptr<const std::vector<uint8_t>>;
    struct Object {
        std::string account;
        std::string contentType;
        Bytes bytes;         // null until uploaded
        bool taken = false;  // a PUT was let in for it
    };
    enum class Claim { accepted, unknown, taken };

    // Reserves the object `name` for the account's upload of that content type.
    void reserve(const std::string& name, const std::string& account,
                 const std::string& contentType);
    // Lets one PUT in for the object: the first claim is accepted, every later one is not, so a
    // signed URL uploads once even while it is unexpired.
    Claim claim(const std::string& name);
    // Does nothing when no such object was reserved (or it has been forgotten).
    void fill(const std::string& name, std::vector<uint8_t> bytes);
    const Object* find(const std::string& name) const;

  private:
    std::map<std::string, Object> objects_;
    std::deque<std::string> order_;
};
