#pragma once
// Everything that waits for a person goes through this one interface: the
// windows hand it a Qt implementation, the command-line tool one that prints
// to stderr, and tests one that answers from a script.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace thermo {

enum class MessageKind {
    Plain, // a plain box with OK ("Ошибочная запись числа: ...")
    Information,
    Warning,
    Error, // error icon and OK ("Датчик  не обнаружен.")
};

struct FileDialogRequest {
    std::string title;
    std::string filter;     // as written in the program: "файлы .txt|*.txt"
    std::string defaultExt; // without the dot: "txt"
    std::string initialDir; // may be relative to the working folder
    std::string initialName;
    bool confirmOverwrite = false;
};

struct TextField {
    std::string label; // "студент"
    std::string value; // what the field shows at first
};

struct TextsRequest {
    std::string title;
    std::vector<TextField> fields;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A modal message with one OK button. An empty caption means the
    // program's title.
    virtual void message(MessageKind kind, const std::string& caption, const std::string& text) = 0;

    // The application's general error report: an input/output failure that
    // nothing else handles, with the system's text. The program goes on.
    virtual void errorReport(const std::string& text) { message(MessageKind::Error, "", text); }

    // A path, or nothing when the person cancelled.
    virtual std::optional<std::string> saveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> openFileName(const FileDialogRequest& request) = 0;
    // Several existing files chosen at once (initialName preselected), or
    // nothing when cancelled. Where multiple choice is not offered, one file.
    virtual std::optional<std::vector<std::string>>
    openFileNames(const FileDialogRequest& request) {
        auto one = openFileName(request);
        return one ? std::optional<std::vector<std::string>>({*one}) : std::nullopt;
    }

    // A small form of labelled one-line fields, shown filled with their
    // values: the values as the person left them, or nothing when cancelled.
    // Where no form can be shown, cancelled.
    virtual std::optional<std::vector<std::string>> askTexts(const TextsRequest& request) {
        (void)request;
        return std::nullopt;
    }

    // A save dialog as the analysis windows ask it: the name given last time
    // offered again (and kept in `last` when another is chosen), an existing
    // file's overwrite confirmed.
    std::optional<std::string> saveFileNameAgain(std::string title, std::string filter,
                                                 std::string defaultExt, std::string& last) {
        FileDialogRequest req;
        req.title = std::move(title);
        req.filter = std::move(filter);
        req.defaultExt = std::move(defaultExt);
        req.initialName = last;
        req.confirmOverwrite = true;
        auto path = saveFileName(req);
        if (path)
            last = *path;
        return path;
    }
};

} // namespace thermo
