#pragma once

#include <utility>
#include <vector>

#include "platform/panel_window.h"

// A window that counts what was asked of it and keeps the questions until the test answers.
struct FakePanelWindow final : PanelWindow {
    int presented = 0;
    int closed = 0;
    std::vector<UserQuestion> questions;
    std::vector<Answer> unanswered;

    void present() override { ++presented; }
    void close() override { ++closed; }
    void ask(const UserQuestion& question, Answer answer) override {
        questions.push_back(question);
        unanswered.push_back(std::move(answer));
    }
    // The user's choice in the oldest open dialog.
    void answer(bool yes) {
        Answer first = std::move(unanswered.front());
        unanswered.erase(unanswered.begin());
        first(yes);
    }
};
