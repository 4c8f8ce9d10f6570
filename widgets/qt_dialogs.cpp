#include "widgets/qt_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace thermo {

void QtDialogs::message(MessageKind kind, const std::string& caption, const std::string& text) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
    case MessageKind::Plain:
        break;
    case MessageKind::Information:
        icon = QMessageBox::Information;
        break;
    case MessageKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(icon, caption.empty() ? title_ : QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, owner_);
    box.exec();
}

QString QtDialogs::qtFilter(const std::string& filter) {
    // Pairs of description|pattern, as the program writes its filters.
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return out.join(";;");
}

std::optional<std::string> QtDialogs::fileDialog(const FileDialogRequest& r, bool save) {
    QFileDialog dlg(owner_, QString::fromStdString(r.title));
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString filters = qtFilter(r.filter);
    dlg.setNameFilter(filters);
    if (!r.defaultExt.empty()) {
        const QString ext = QString::fromStdString(r.defaultExt);
        dlg.setDefaultSuffix(ext);
        // The dialog opens on the entry of the default extension, wherever
        // the filter lists it, so it shows the files of the kind written.
        for (const QString& f : filters.split(QStringLiteral(";;")))
            if (f.endsWith(QStringLiteral("(*.") + ext + ')', Qt::CaseInsensitive)) {
                dlg.selectNameFilter(f);
                break;
            }
    }
    if (!r.confirmOverwrite)
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QString dir = QString::fromStdString(r.initialDir);
    if (!dir.isEmpty() && QDir(dir).exists())
        dlg.setDirectory(dir);
    if (!r.initialName.empty())
        dlg.selectFile(QString::fromStdString(r.initialName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().front().toStdString();
}

std::optional<std::string> QtDialogs::saveFileName(const FileDialogRequest& r) {
    return fileDialog(r, true);
}

std::optional<std::string> QtDialogs::openFileName(const FileDialogRequest& r) {
    return fileDialog(r, false);
}

} // namespace thermo
