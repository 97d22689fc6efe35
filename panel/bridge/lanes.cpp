#include "panel/bridge/lanes.h"

#include <sys/random.h>

#include <new>
#include <optional>
#include <string_view>

#include "panel/bridge/frame_preview.h"
#include "panel/bridge/page_origin.h"

namespace {

constexpr std::string_view kHost = "panel";
constexpr size_t kKeyCharacters = 32;

std::optional<std::string> randomKey() {
    unsigned char bytes[kKeyCharacters / 2];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        return std::nullopt;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char byte : bytes) {
        key += kHex[byte >> 4];
        key += kHex[byte & 15];
    }
    return key;
}

// A size member: 1 to 5 digits, 1..max.
std::optional<uint32_t> side(std::string_view text, uint32_t max) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

// A lane's URL taken apart: "lumivo-lane://panel/<key>/<path>[?<query>]".
struct LaneUrl {
    std::string_view key;
    std::string_view path;
    std::string_view query;
};

std::optional<LaneUrl> splitLaneUrl(std::string_view uri) {
    const std::string prefix = std::string(PanelLanes::kScheme) + "://" + std::string(kHost) + "/";
    if (uri.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    uri.remove_prefix(prefix.size());
    const size_t slash = uri.find('/');
    if (slash == uri.npos) {
        return std::nullopt;
    }
    LaneUrl url{uri.substr(0, slash), uri.substr(slash + 1), {}};
    if (const size_t question = url.path.find('?'); question != url.path.npos) {
        url.query = url.path.substr(question + 1);
        url.path = url.path.substr(0, question);
    }
    return url;
}

// The box a preview query names ("width=W&height=H", in any order, among other members); none
// when a side is missing, said twice or out of range.
std::optional<frame_preview::Size> previewBox(std::string_view query) {
    std::optional<uint32_t> width, height;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view member = query.substr(0, amp);
        query = amp == query.npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = member.find('=');
        const std::string_view name = member.substr(0, equals);
        const std::string_view value =
            equals == member.npos ? std::string_view() : member.substr(equals + 1);
        if (name == "width" || name == "height") {
            std::optional<uint32_t>& slot = name == "width" ? width : height;
            if (slot) {
                return std::nullopt;  // said twice: which would be meant?
            }
            slot = side(value, PanelLanes::kMaxPreviewSide);
            if (!slot) {
                return std::nullopt;
            }
        }
    }
    if (!width || !height) {
        return std::nullopt;
    }
    return frame_preview::Size{*width, *height};
}

SchemeResponse refusal(int status, const std::optional<std::string>& serviceOrigin) {
    SchemeResponse response;
    response.status = status;
    response.contentType = "text/plain";
    // Only the service's documents may read why; anyone else sees a network error.
    if (serviceOrigin) {
        response.headers = {{"Access-Control-Allow-Origin", *serviceOrigin}, {"Vary", "Origin"}};
    }
    return response;
}

}  // namespace

PanelLanes::PanelLanes(TaskQueue& main, TaskQueue& workers, FrameAccess& frames)
    : main_(main), workers_(workers), frames_(frames) {}

std::string PanelLanes::open(const std::string& document) {
    std::optional<std::string> key = randomKey();
    if (!key) {
        return "";
    }
    for (auto it = keys_.begin(); it != keys_.end(); ++it) {
        if (it->first == document) {
            keys_.erase(it);
            break;
        }
    }
    if (keys_.size() >= kMaxDocuments) {
        keys_.pop_front();
    }
    keys_.emplace_back(document, *key);
    return std::string(kScheme) + "://" + std::string(kHost) + "/" + *key + "/";
}

bool PanelLanes::knowsKey(std::string_view key) const {
    if (key.size() != kKeyCharacters) {
        return false;
    }
    for (const auto& [document, known] : keys_) {
        if (known == key) {
            return true;
        }
    }
    return false;
}

void PanelLanes::serve(std::unique_ptr<SchemeRequest> request) {
    std::optional<std::string> origin = request->header("Origin");
    if (!origin || !isServiceOrigin(*origin)) {
        request->respond(refusal(403, std::nullopt));
        return;
    }
    const std::string uri = request->uri();  // the parts below point into it
    std::optional<LaneUrl> url = splitLaneUrl(uri);
    if (!url || !knowsKey(url->key)) {
        request->respond(refusal(403, origin));
        return;
    }
    if (url->path != "preview") {
        request->respond(refusal(404, origin));
        return;
    }
    if (request->method() != "GET") {
        request->respond(refusal(405, origin));
        return;
    }
    std::optional<frame_preview::Size> box = previewBox(url->query);
    if (!box) {
        request->respond(refusal(400, origin));
        return;
    }
    if (pending_.size() >= kMaxPending) {
        request->respond(refusal(503, origin));
        return;
    }
    const uint64_t number = nextRequest_++;
    pending_.emplace(number, std::move(request));
    workers_.post([this, number, box = *box, origin = *origin] {
        SchemeResponse response = refusal(503, origin);
        try {
            PixelBuffer reduced;
            frame_preview::Size size;
            uint64_t serial = 0;
            frames_.readFrame(FrameUse::display, [&](const PixelBuffer& frame, const FrameFile&,
                                                     uint64_t frameNumber) {
                size = frame_preview::fitWithin(frame.width, frame.height, box.width, box.height);
                reduced = frame_preview::reduce(frame, size);
                serial = frameNumber;
                return true;
            });
            PixelBuffer shown = frame_preview::finish(std::move(reduced), size);
            if (!shown.empty()) {
                response.status = 200;
                response.contentType = "application/octet-stream";
                response.headers.insert(
                    response.headers.end(),
                    {{"Access-Control-Expose-Headers", "Lumivo-Width, Lumivo-Height, Lumivo-Frame"},
                     {"Cache-Control", "no-store"},
                     {"Lumivo-Width", std::to_string(shown.width)},
                     {"Lumivo-Height", std::to_string(shown.height)},
                     {"Lumivo-Frame", std::to_string(serial)}});
                response.body = std::move(shown.rgba);
            }
        } catch (const std::bad_alloc&) {
            response = refusal(503, origin);
        }
        main_.post([this, number, response = std::move(response)]() mutable {
            auto found = pending_.find(number);
            if (found != pending_.end()) {
                found->second->respond(std::move(response));
                pending_.erase(found);
            }
        });
    });
}
