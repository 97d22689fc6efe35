#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The creations of every account: each is made from an uploaded object and an effect, and goes
// queued, running (with progress), then done with a result or failed with a reason. Only the
// newest few are kept. Main thread only.
class CreationBoard {
  public:
    enum class State { queued, running, done, failed };
    struct Creation {
        std::string account;
        std::string effect;
        State state = State::queued;
        double progress = 0;
        std::string reason;                                  // failed
        std::shared_ptr<const std::vector<uint8_t>> result;  // done: the PNG
    };

    void add(const std::string& id, const std::string& account, const std::string& effect);
    // Null when there is no such creation, or it belongs to another account.
    const Creation* find(const std::string& id, const std::string& account) const;
    // The PNG of a finished creation, whoever asks: its id is the credential, as on a CDN.
    std::shared_ptr<const std::vector<uint8_t>> result(const std::string& id) const;

    // Updates from the work; each ignores a creation that has been forgotten meanwhile.
    void progress(const std::string& id, double fraction);
    void finish(const std::string& id, std::vector<uint8_t> png);
    void fail(const std::string& id, const std::string& reason);

  private:
    std::map<std::string, Creation> creations_;
    std::deque<std::string> order_;
};

const char* stateName(CreationBoard::State state);
