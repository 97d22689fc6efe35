// The storage host's rules for a pre-signed PUT, judged on the headers alone.
#include <gtest/gtest.h>

#include "service/query_text.h"
#include "service/upload_signature.h"

namespace {

using upload_signature::judge;
using upload_signature::sign;
using upload_signature::StoragePut;

constexpr char kKey[] = "0123456789abcdef0123456789abcdef";
constexpr char kPath[] = "/lumivo-uploads/abc";
constexpr int64_t kExpires = 1'700'000'300;
constexpr uint64_t kLimit = 1000;

std::string query(int64_t expires, const std::string& signature) {
    return std::string(upload_signature::kExpiresParameter) + "=" + std::to_string(expires) + "&" +
           upload_signature::kSignatureParameter + "=" + signature;
}

StoragePut signedPut() {
    return {"PUT", kPath, query(kExpires, sign(kKey, "PUT", kPath, "image/png", kExpires)),
            "image/png", uint64_t{10}};
}

TEST(UploadSignature, JudgesEachPartOfThePut) {
    const std::string good = sign(kKey, "PUT", kPath, "image/png", kExpires);
    struct Case {
        const char* what;
        StoragePut put;
        int64_t now;
        int status;
    };
    auto with = [](auto change) {
        StoragePut put = signedPut();
        change(put);
        return put;
    };
    const Case cases[] = {
        {"signed, unexpired, in size", signedPut(), kExpires - 300, 0},
        {"at the expiry second itself", signedPut(), kExpires, 0},
        {"one second after", signedPut(), kExpires + 1, 410},
        {"another method", with([](StoragePut& p) { p.method = "POST"; }), 0, 405},
        {"no signature", with([](StoragePut& p) { p.query = "X-Lumivo-Expires=1"; }), 0, 400},
        {"no query", with([](StoragePut& p) { p.query = ""; }), 0, 400},
        {"expiry not a number", with([&](StoragePut& p) { p.query = query(0, good) + "x"; }), 0,
         400},
        {"a parameter twice", with([&](StoragePut& p) { p.query += "&X-Lumivo-Expires=1"; }), 0,
         400},
        {"signature in capitals", with([&](StoragePut& p) {
             std::string upper = good;
             for (char& c : upper)
                 c = static_cast<char>(std::toupper(c));
             p.query = query(kExpires, upper);
         }),
         0, 400},
        {"another path", with([](StoragePut& p) { p.path = "/lumivo-uploads/other"; }), 0, 403},
        {"another content type", with([](StoragePut& p) { p.contentType = "image/jpeg"; }), 0, 403},
        {"a later expiry than signed",
         with([&](StoragePut& p) { p.query = query(kExpires + 3600, good); }), 0, 403},
        {"a forgery past its expiry",
         with([&](StoragePut& p) { p.query = query(kExpires, std::string(64, 'a')); }),
         kExpires + 1, 403},
        {"signed with another key", with([](StoragePut& p) {
             p.query = query(kExpires, sign("other", "PUT", kPath, "image/png", kExpires));
         }),
         0, 403},
        {"length unknown", with([](StoragePut& p) { p.contentLength.reset(); }), 0, 411},
        {"at the limit", with([](StoragePut& p) { p.contentLength = kLimit; }), 0, 0},
        {"over the limit", with([](StoragePut& p) { p.contentLength = kLimit + 1; }), 0, 413},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judge(kKey, c.put, c.now, kLimit), c.status) << c.what;
    }
}

TEST(UploadSignature, SignatureCoversEveryPart) {
    const std::string base = sign(kKey, "PUT", kPath, "image/png", kExpires);
    EXPECT_EQ(base.size(), 64u);
    EXPECT_EQ(base, sign(kKey, "PUT", kPath, "image/png", kExpires));
    EXPECT_NE(base, sign(kKey, "GET", kPath, "image/png", kExpires));
    EXPECT_NE(base, sign(kKey, "PUT", "/lumivo-uploads/abd", "image/png", kExpires));
    EXPECT_NE(base, sign(kKey, "PUT", kPath, "image/pnh", kExpires));
    EXPECT_NE(base, sign(kKey, "PUT", kPath, "image/png", kExpires + 1));
    // No part can slide into its neighbour.
    EXPECT_NE(sign(kKey, "PUT", "/a", "b\nc", 1), sign(kKey, "PUT", "/a\nb", "c", 1));
}

TEST(QueryText, RefusesWhatItCannotReadOneWay) {
    auto parsed = query_text::parse("a=1&b=two+words&c=%2F&&d=");
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["b"], "two words");
    EXPECT_EQ((*parsed)["c"], "/");
    EXPECT_EQ((*parsed)["d"], "");
    for (const char* bad : {"a=1&a=2", "a", "a=%zz", "a=%00", "%=1"}) {
        EXPECT_FALSE(query_text::parse(bad)) << bad;
    }
    EXPECT_EQ(query_text::decimal("0"), 0);
    EXPECT_EQ(query_text::decimal("123456789012345678"), 123456789012345678);
    for (const char* bad : {"", "-1", "1e3", " 1", "1234567890123456789"}) {
        EXPECT_FALSE(query_text::decimal(bad)) << bad;
    }
}

}  // namespace
