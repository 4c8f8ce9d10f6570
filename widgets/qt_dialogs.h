#pragma once
// UserDialogs shown as Qt message boxes and file dialogs.

#include <QString>
#include <QWidget>

#include "common/dialogs.h"

namespace thermo {

class QtDialogs : public UserDialogs {
public:
    // Boxes are parented to `owner` (the main window, once it exists) and
    // captioned with the program's title unless a caption is given.
    explicit QtDialogs(QString title) : title_(std::move(title)) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    void message(MessageKind kind, const std::string& caption, const std::string& text) override;
    std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> openFileName(const FileDialogRequest& request) override;
    std::optional<std::vector<std::string>>
    openFileNames(const FileDialogRequest& request) override;
    std::optional<std::vector<std::string>> askTexts(const TextsRequest& request) override;

    // "файлы .txt|*.txt" -> "файлы .txt (*.txt)".
    [[nodiscard]] static QString qtFilter(const std::string& filter);

private:
    // The files chosen: one to save, one or (many) several to open.
    std::optional<std::vector<std::string>> fileDialog(const FileDialogRequest& request, bool save,
                                                       bool many);
    QString title_;
    QWidget* owner_ = nullptr;
};

} // namespace thermo
