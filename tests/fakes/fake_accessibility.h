#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"

// An accessibility tree in memory. Nodes are plain data; the test builds them, changes them
// between calls, and reads the counters. Every handle given out is counted while it lives, so
// a test can prove that no element reference leaks. Used on one thread at a time.
struct FakeAxNode {
    std::optional<std::string> title;  // none: no title, or one that is not a string
    EnabledRead enabled{EnabledRead::kValue, true};
    bool childrenReadFails = false;
    bool pressFails = false;
    std::function<void()> onPress;  // runs on a successful press
    int presses = 0;
    std::vector<std::shared_ptr<FakeAxNode>> children;
    // For an application node: its menu bar (none when absent).
    std::shared_ptr<FakeAxNode> menuBar;

    static std::shared_ptr<FakeAxNode> titled(std::string text) {
        auto node = std::make_shared<FakeAxNode>();
        node->title = std::move(text);
        return node;
    }
    FakeAxNode* add(std::shared_ptr<FakeAxNode> child) {
        children.push_back(std::move(child));
        return children.back().get();
    }
};

class FakeAccessibility final : public Accessibility {
  public:
    // Application nodes by process id.
    std::map<pid_t, std::shared_ptr<FakeAxNode>> applications;
    int applicationLookups = 0;

    int liveHandles() const { return *live_; }

    // The node behind a handle this fake gave out.
    static FakeAxNode* node(const AxElement& element) {
        return static_cast<const Handle&>(element).node.get();
    }

    AxHandle application(pid_t pid) override {
        ++applicationLookups;
        auto it = applications.find(pid);
        return it == applications.end() ? nullptr : wrap(it->second);
    }
    AxHandle menuBar(const AxElement& application) override {
        FakeAxNode* app = node(application);
        return app->menuBar ? wrap(app->menuBar) : nullptr;
    }
    std::optional<std::vector<AxHandle>> children(const AxElement& element) override {
        FakeAxNode* n = node(element);
        if (n->childrenReadFails) {
            return std::nullopt;
        }
        std::vector<AxHandle> result;
        for (const auto& child : n->children) {
            result.push_back(wrap(child));
        }
        return result;
    }
    std::optional<std::string> title(const AxElement& element) override {
        return node(element)->title;
    }
    EnabledRead enabled(const AxElement& element) override { return node(element)->enabled; }
    bool press(const AxElement& element) override {
        FakeAxNode* n = node(element);
        if (n->pressFails) {
            return false;
        }
        ++n->presses;
        if (n->onPress) {
            n->onPress();
        }
        return true;
    }

  private:
    struct Handle final : AxElement {
        Handle(std::shared_ptr<FakeAxNode> n, std::shared_ptr<int> counter)
            : node(std::move(n)), live(std::move(counter)) {
            ++*live;
        }
        ~Handle() override { --*live; }
        std::shared_ptr<FakeAxNode> node;
        std::shared_ptr<int> live;
    };

    AxHandle wrap(const std::shared_ptr<FakeAxNode>& n) {
        return std::make_unique<Handle>(n, live_);
    }

    std::shared_ptr<int> live_ = std::make_shared<int>(0);
};
