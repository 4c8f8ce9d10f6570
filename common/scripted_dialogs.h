#pragma once
// A UserDialogs that records every message and answers file dialogs from a
// queue (an empty queue cancels). For tests and headless runs.

#include <deque>
#include <functional>
#include <iostream>
#include <vector>

#include "common/dialogs.h"

namespace thermo {

class ScriptedDialogs : public UserDialogs {
public:
    struct Shown {
        MessageKind kind;
        std::string caption;
        std::string text;
    };

    // echo: also print each message on stderr (the headless run does).
    explicit ScriptedDialogs(bool echo = false) : echo_(echo) {}

    void message(MessageKind kind, const std::string& caption, const std::string& text) override {
        messages.push_back({kind, caption, text});
        if (echo_)
            std::cerr << (caption.empty() ? "" : caption + ": ") << text << '\n';
        if (whileShown)
            whileShown(messages.back());
    }
    std::optional<std::string> saveFileName(const FileDialogRequest& r) override {
        requests.push_back(r);
        return next();
    }
    std::optional<std::string> openFileName(const FileDialogRequest& r) override {
        requests.push_back(r);
        return next();
    }

    // Runs while a message is "open", as a modal box's own event loop would
    // run timers and other events until the user answers it.
    std::function<void(const Shown&)> whileShown;
    std::vector<Shown> messages;
    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<std::string>> fileAnswers;

private:
    std::optional<std::string> next() {
        if (fileAnswers.empty())
            return std::nullopt;
        auto a = fileAnswers.front();
        fileAnswers.pop_front();
        return a;
    }
    bool echo_;
};

} // namespace thermo
