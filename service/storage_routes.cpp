// The cloud storage host and the creation work that starts from what it holds. Every check of
// a PUT ran on its headers already (judgeHeaders, claimUpload): what reaches here is signed,
// unexpired, of the signed content type, within the size limit, and the one PUT its object
// takes.
#include <glib.h>

#include <memory>
#include <utility>

#include "service/creation_work.h"
#include "service/reference_service.h"

namespace {

constexpr char kBucket[] = "/lumivo-uploads/";

std::string sha256(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<gchar, decltype(&g_free)> digest(
        g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size()), g_free);
    return digest.get();
}

}  // namespace

void ReferenceService::claimUpload(HttpExchange& exchange) {
    const std::string& path = exchange.path();
    const StorageBucket::Claim claim = path.rfind(kBucket, 0) == 0
                                           ? bucket_.claim(path.substr(sizeof(kBucket) - 1))
                                           : StorageBucket::Claim::unknown;
    if (claim == StorageBucket::Claim::unknown) {
        exchange.reply(404, "text/plain", "No such object.\n");
    } else if (claim == StorageBucket::Claim::taken) {
        exchange.reply(409, "text/plain", "This upload URL has been used.\n");
    }
}

void ReferenceService::serveStorage(HttpExchange& exchange) {
    const std::string& path = exchange.path();
    if (path.rfind(kBucket, 0) != 0) {
        exchange.reply(404, "text/plain", "No such bucket.\n");
        return;
    }
    const std::string objectId = path.substr(sizeof(kBucket) - 1);
    if (bucket_.find(objectId) == nullptr) {
        exchange.reply(404, "text/plain", "No such object.\n");
        return;
    }
    std::vector<uint8_t> bytes = exchange.bodyBytes();
    const std::string digest = sha256(bytes);
    if (record_.enabled()) {
        record_.upload(objectId, bytes);
        record_.request({{"stored", objectId},
                         {"contentType", exchange.header("Content-Type")},
                         {"bytes", bytes.size()},
                         {"sha256", digest}});
    }
    bucket_.fill(objectId, std::move(bytes));
    exchange.setHeader("ETag", "\"" + digest + "\"");
    exchange.reply(200, "text/plain", "");
}

void ReferenceService::startWork(const std::string& creationId, StorageBucket::Bytes upload,
                                 const std::string& effect) {
    workers_.post([this, creationId, upload = std::move(upload), effect] {
        creation_work::Outcome outcome =
            creation_work::render(*upload, effect, [this, creationId](double fraction) {
                mainQueue_.post(
                    [this, creationId, fraction] { creations_.progress(creationId, fraction); });
            });
        mainQueue_.post([this, creationId, outcome = std::move(outcome)]() mutable {
            if (outcome.png.empty()) {
                creations_.fail(creationId, outcome.reason);
                return;
            }
            record_.result(creationId, outcome.png);
            creations_.finish(creationId, std::move(outcome.png));
        });
    });
}
