// The CDN host, which serves finished results, and the www host with the account page.
#include <string>

#include "panel/service/service_hosts.h"
#include "service/reference_service.h"

namespace {

constexpr char kResults[] = "/results/";

constexpr char kAccountPage[] = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Your Lumivo account</title>
<style>body{font:15px/1.5 sans-serif;max-width:40em;margin:3em auto;color:#222}
h1{font-size:1.4em}code{background:#eee;padding:0 .3em}</style></head>
<body><h1>Your Lumivo account</h1>
<p>Signed in as the demo account <code>demo@lumivo.example</code>.</p>
<p>Plan: Demo. Creations are kept for this session of the service only.</p>
<p>The Lumivo panel in your editor signs in with this account and keeps you signed in
through your desktop keyring. Sign out from the panel to forget it.</p>
</body></html>
)";

}  // namespace

void ReferenceService::serveCdn(HttpExchange& exchange) {
    const std::string& path = exchange.path();
    constexpr char kSuffix[] = ".png";
    const size_t prefix = sizeof(kResults) - 1, suffix = sizeof(kSuffix) - 1;
    if (exchange.method() != "GET" || path.rfind(kResults, 0) != 0 ||
        path.size() <= prefix + suffix ||
        path.compare(path.size() - suffix, suffix, kSuffix) != 0) {
        exchange.reply(404, "text/plain", "Not found.\n");
        return;
    }
    auto png = creations_.result(path.substr(prefix, path.size() - prefix - suffix));
    if (!png) {
        exchange.reply(404, "text/plain", "Not found.\n");
        return;
    }
    exchange.setHeader("Cache-Control", "public, max-age=86400, immutable");
    exchange.reply(200, "image/png", std::move(png));
}

void ReferenceService::serveWww(HttpExchange& exchange) {
    const std::string& path = exchange.path();
    if (exchange.method() != "GET" || (path != "/" && path != "/account")) {
        exchange.reply(404, "text/plain", "Not found.\n");
        return;
    }
    exchange.reply(200, "text/html; charset=utf-8", kAccountPage);
}
