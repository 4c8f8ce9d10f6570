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

    std::optional<std::vector<std::string>> openFileNames(const FileDialogRequest& r) override {
        requests.push_back(r);
        if (filesAnswers.empty())
            return std::nullopt;
        auto a = filesAnswers.front();
        filesAnswers.pop_front();
        return a;
    }
    // A form's answer from textAnswers (an empty queue cancels); the form
    // asked is kept in textRequests.
    std::optional<std::vector<std::string>> askTexts(const TextsRequest& r) override {
        textRequests.push_back(r);
        if (textAnswers.empty())
            return std::nullopt;
        auto a = textAnswers.front();
        textAnswers.pop_front();
        return a;
    }

    // Runs while a message is "open", as a modal box's own event loop would
    // run timers and other events until the user answers it.
    std::function<void(const Shown&)> whileShown;
    std::vector<Shown> messages;
    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<std::vector<std::string>>> filesAnswers;
    std::vector<TextsRequest> textRequests;
    std::deque<std::optional<std::vector<std::string>>> textAnswers;

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
