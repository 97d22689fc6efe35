#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "platform/http.h"

// A transport that keeps every request until the test answers it, in any order. answer() runs
// the completion on the calling thread, standing in for the transport's worker.
struct FakeHttp final : HttpTransport {
    struct Sent {
        HttpRequest request;
        std::function<void(HttpResponse)> done;
    };
    std::deque<Sent> sent;

    void send(HttpRequest request, std::function<void(HttpResponse)> done) override {
        sent.push_back({std::move(request), std::move(done)});
    }

    // Answers the oldest unanswered request with a status and body.
    void answer(long status, std::string body) {
        HttpResponse response;
        response.status = status;
        response.body = std::move(body);
        answerWith(std::move(response));
    }
    void fail(std::string text) {
        HttpResponse response;
        response.transportError = true;
        response.errorText = std::move(text);
        answerWith(std::move(response));
    }
    void answerWith(HttpResponse response) {
        Sent next = std::move(sent.front());
        sent.pop_front();
        next.done(std::move(response));
    }
};
