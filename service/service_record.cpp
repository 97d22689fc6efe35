#include "service/service_record.h"

#include <filesystem>

ServiceRecord::ServiceRecord(const std::string& directory) : directory_(directory) {
    if (enabled()) {
        std::error_code ignored;
        std::filesystem::create_directories(directory_ + "/results", ignored);
        std::filesystem::create_directories(directory_ + "/uploads", ignored);
    }
}

void ServiceRecord::request(const nlohmann::json& line) {
    append("requests.jsonl", line.dump());
}

void ServiceRecord::refreshToken(const char* event, const std::string& token) {
    append("refresh-tokens.jsonl", nlohmann::json{{"event", event}, {"token", token}}.dump());
}

void ServiceRecord::upload(const std::string& objectId, const std::vector<uint8_t>& bytes) {
    save("/uploads/" + objectId, bytes);
}

void ServiceRecord::result(const std::string& creationId, const std::vector<uint8_t>& png) {
    save("/results/" + creationId + ".png", png);
}

void ServiceRecord::save(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (!enabled()) {
        return;
    }
    std::ofstream out(directory_ + path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void ServiceRecord::pageReceived(const std::string& text) {
    append("page-received.txt", text);
}

void ServiceRecord::append(const char* file, const std::string& line) {
    if (!enabled()) {
        return;
    }
    std::ofstream out(directory_ + "/" + file, std::ios::app);
    out << line << '\n';
}
