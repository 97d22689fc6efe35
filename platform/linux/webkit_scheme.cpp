#include "platform/linux/webkit_scheme.h"

#include <exception>
#include <string>
#include <utility>

namespace {

using Serve = std::function<void(std::unique_ptr<SchemeRequest>)>;

class WebKitSchemeRequest final : public SchemeRequest {
  public:
    explicit WebKitSchemeRequest(WebKitURISchemeRequest* request)
        : request_(WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request))) {}
    ~WebKitSchemeRequest() override {
        if (!answered_) {
            GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "not answered");
            webkit_uri_scheme_request_finish_error(request_, error);
            g_error_free(error);
        }
        g_object_unref(request_);
    }
    WebKitSchemeRequest(const WebKitSchemeRequest&) = delete;
    WebKitSchemeRequest& operator=(const WebKitSchemeRequest&) = delete;

    std::string method() const override {
        const char* method = webkit_uri_scheme_request_get_http_method(request_);
        return method != nullptr ? method : "";
    }
    std::string uri() const override {
        const char* uri = webkit_uri_scheme_request_get_uri(request_);
        return uri != nullptr ? uri : "";
    }
    std::optional<std::string> header(std::string_view name) const override {
        SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request_);
        const std::string key(name);
        const char* value =
            headers != nullptr ? soup_message_headers_get_one(headers, key.c_str()) : nullptr;
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    }

    void respond(SchemeResponse response) override {
        if (answered_) {
            return;
        }
        answered_ = true;
        // The body moves into the stream's bytes and is freed with them, without a copy.
        auto* body = new std::vector<uint8_t>(std::move(response.body));
        GBytes* bytes = g_bytes_new_with_free_func(
            body->data(), body->size(),
            [](gpointer data) { delete static_cast<std::vector<uint8_t>*>(data); }, body);
        GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
        WebKitURISchemeResponse* answer =
            webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(bytes)));
        // Without a reason phrase the web engine reports 200, whatever the status.
        const auto status = static_cast<guint>(response.status);
        const char* phrase = soup_status_get_phrase(status);
        webkit_uri_scheme_response_set_status(answer, status,
                                              phrase != nullptr ? phrase : "Status");
        if (!response.contentType.empty()) {
            webkit_uri_scheme_response_set_content_type(answer, response.contentType.c_str());
        }
        SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
        for (const auto& [name, value] : response.headers) {
            soup_message_headers_append(headers, name.c_str(), value.c_str());
        }
        webkit_uri_scheme_response_set_http_headers(answer, headers);  // takes the headers
        webkit_uri_scheme_request_finish_with_response(request_, answer);
        g_object_unref(answer);
        g_object_unref(stream);
        g_bytes_unref(bytes);
    }

  private:
    WebKitURISchemeRequest* request_;
    bool answered_ = false;
};

void onSchemeRequest(WebKitURISchemeRequest* request, gpointer data) {
    try {
        (*static_cast<Serve*>(data))(std::make_unique<WebKitSchemeRequest>(request));
    } catch (const std::exception&) {
        // An unanswered request was finished as failed when its object went.
    }
}

}  // namespace

void registerPanelScheme(WebKitWebContext* context, const char* scheme, Serve serve) {
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, scheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme);
    webkit_web_context_register_uri_scheme(context, scheme, onSchemeRequest,
                                           new Serve(std::move(serve)),
                                           [](gpointer data) { delete static_cast<Serve*>(data); });
}
