#include "service/service_record.h"

#include <filesystem>

ServiceRecord::ServiceRecord(const std::string& directory) : directory_(directory) {
    if (enabled()) {
        std::error_code ignored;
        std::filesystem::create_directories(directory_ + "/results", ignored);
    }
}

void ServiceRecord::request(const nlohmann::json& line) {
    append("requests.jsonl", line.dump());
}

void ServiceRecord::refreshToken(const char* event, const std::string& token) {
    append("refresh-tokens.jsonl", nlohmann::json{{"event", event}, {"token", token}}.dump());
}

void ServiceRecord::result(const std::string& creationId, const std::vector<uint8_t>& png) {
    if (!enabled()) {
        return;
    }
    std::ofstream out(directory_ + "/results/" + creationId + ".png", std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
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
