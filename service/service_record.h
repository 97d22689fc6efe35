#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// What the service saw and handed out, kept for the tests and the demo in a folder of its
// own (--record): one JSON line per request, the refresh tokens it issued, the uploads and
// results, and what the page reports it was answered. Nothing is kept without a folder. This is a
// record for checking, not a log: the service's log (standard error) never holds a token.
// Main thread only.
class ServiceRecord {
  public:
    explicit ServiceRecord(const std::string& directory);

    bool enabled() const { return !directory_.empty(); }
    void request(const nlohmann::json& line);
    void refreshToken(const char* event, const std::string& token);
    void upload(const std::string& objectId, const std::vector<uint8_t>& bytes);
    void result(const std::string& creationId, const std::vector<uint8_t>& png);
    void pageReceived(const std::string& text);

  private:
    void append(const char* file, const std::string& line);
    void save(const std::string& path, const std::vector<uint8_t>& bytes);

    std::string directory_;
};
