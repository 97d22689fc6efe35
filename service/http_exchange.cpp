#include "service/http_exchange.h"

#include <glib.h>

#include <cctype>
#include <utility>

HttpExchange::HttpExchange(SoupServerMessage* message) : message_(message) {
    GUri* uri = soup_server_message_get_uri(message);
    if (uri != nullptr) {
        if (const char* host = g_uri_get_host(uri)) {
            host_ = host;
            for (char& c : host_) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        if (const char* path = g_uri_get_path(uri)) {
            path_ = path;
        }
        if (const char* query = g_uri_get_query(uri)) {
            query_ = query;
        }
    }
    if (const char* method = soup_server_message_get_method(message)) {
        method_ = method;
    }
}

std::string HttpExchange::header(const char* name) const {
    const char* value =
        soup_message_headers_get_one(soup_server_message_get_request_headers(message_), name);
    return value != nullptr ? value : "";
}

std::string HttpExchange::body() const {
    SoupMessageBody* body = soup_server_message_get_request_body(message_);
    GBytes* bytes = soup_message_body_flatten(body);
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data != nullptr ? data : "", size);
    g_bytes_unref(bytes);
    return text;
}

std::vector<uint8_t> HttpExchange::bodyBytes() const {
    const std::string text = body();
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string HttpExchange::bearerToken() const {
    const std::string value = header("Authorization");
    constexpr char kPrefix[] = "Bearer ";
    if (value.compare(0, sizeof(kPrefix) - 1, kPrefix) != 0) {
        return "";
    }
    return value.substr(sizeof(kPrefix) - 1);
}

void HttpExchange::reply(int status, const char* contentType, const std::string& body) {
    soup_server_message_set_status(message_, static_cast<guint>(status), nullptr);
    soup_server_message_set_response(message_, contentType, SOUP_MEMORY_COPY, body.data(),
                                     body.size());
}

void HttpExchange::reply(int status, const char* contentType,
                         std::shared_ptr<const std::vector<uint8_t>> body) {
    soup_server_message_set_status(message_, static_cast<guint>(status), nullptr);
    soup_message_headers_set_content_type(soup_server_message_get_response_headers(message_),
                                          contentType, nullptr);
    auto* held = new std::shared_ptr<const std::vector<uint8_t>>(std::move(body));
    GBytes* bytes = g_bytes_new_with_free_func(
        (*held)->data(), (*held)->size(),
        [](gpointer data) {
            delete static_cast<std::shared_ptr<const std::vector<uint8_t>>*>(data);
        },
        held);
    soup_message_body_append_bytes(soup_server_message_get_response_body(message_), bytes);
    g_bytes_unref(bytes);
}

void HttpExchange::replyJson(int status, const nlohmann::json& body) {
    reply(status, "application/json", body.dump());
}

void HttpExchange::replyError(int status, const char* code, const std::string& text) {
    replyJson(status, {{"error", code}, {"message", text}});
}

void HttpExchange::setHeader(const char* name, const std::string& value) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message_), name,
                                 value.c_str());
}

int HttpExchange::status() const {
    return static_cast<int>(soup_server_message_get_status(message_));
}
