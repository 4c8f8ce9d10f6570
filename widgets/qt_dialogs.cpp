#include "widgets/qt_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
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

std::optional<std::vector<std::string>> QtDialogs::fileDialog(const FileDialogRequest& r, bool save,
                                                              bool many) {
    QFileDialog dlg(owner_, QString::fromStdString(r.title));
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save   ? QFileDialog::AnyFile
                    : many ? QFileDialog::ExistingFiles
                           : QFileDialog::ExistingFile);
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
    std::vector<std::string> out;
    for (const QString& f : dlg.selectedFiles())
        out.push_back(f.toStdString());
    return out;
}

std::optional<std::string> QtDialogs::saveFileName(const FileDialogRequest& r) {
    const auto files = fileDialog(r, true, false);
    return files ? std::optional<std::string>(files->front()) : std::nullopt;
}

std::optional<std::string> QtDialogs::openFileName(const FileDialogRequest& r) {
    const auto files = fileDialog(r, false, false);
    return files ? std::optional<std::string>(files->front()) : std::nullopt;
}

std::optional<std::vector<std::string>> QtDialogs::openFileNames(const FileDialogRequest& r) {
    return fileDialog(r, false, true);
}

std::optional<std::vector<std::string>> QtDialogs::askTexts(const TextsRequest& r) {
    QDialog dlg(owner_);
    dlg.setWindowTitle(r.title.empty() ? title_ : QString::fromStdString(r.title));
    auto* form = new QFormLayout(&dlg);
    std::vector<QLineEdit*> edits;
    for (const TextField& f : r.fields) {
        auto* edit = new QLineEdit(QString::fromStdString(f.value), &dlg);
        edit->setMinimumWidth(280);
        form->addRow(QString::fromStdString(f.label), edit);
        edits.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    form->addRow(buttons);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<std::string> out;
    for (QLineEdit* e : edits)
        out.push_back(e->text().toStdString());
    return out;
}

} // namespace thermo
