// SPDX-License-Identifier: GPL-3.0-or-later
// The file chooser and the question before a file is replaced, over Qt Widgets.
#include "runtime/file_select.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace {

FileSelectHook g_fileSelectHook;
ConfirmHook g_confirmHook;

} // namespace

namespace {
// A modal dialog on a platform without a screen (offscreen, minimal) waits for a person who
// can never answer it: such a question counts as declined.
bool CanAskPerson() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const QString p = QGuiApplication::platformName();
    if (p == QLatin1String("offscreen") || p == QLatin1String("minimal")) {
        std::fprintf(stderr, "no screen to show a dialog on: taken as cancelled\n");
        return false;
    }
    return true;
}

// A yes/no question; 1 yes, 0 no.
int ConfirmPopup(const std::string& title, const std::string& message) {
    if (g_confirmHook) return g_confirmHook(title, message) ? 1 : 0;
    if (!CanAskPerson()) return 0;
    auto answer = QMessageBox::question(nullptr, QString::fromStdString(title), QString::fromStdString(message),
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}

// ".dat" from "*.dat"; empty when the filter names no single extension.
std::string FilterExtension(const std::string& filter) {
    auto dot = filter.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = filter.substr(dot);
    if (ext.find_first_of("*? ;") != std::string::npos) return {};
    return ext;
}

int RunDialog(const FileSelectRequest& r, std::string& chosen) {
    if (!CanAskPerson()) return VAL_NO_FILE_SELECTED;
    QFileDialog dialog(nullptr, QString::fromStdString(r.title), QString::fromStdString(r.defaultDirectory));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // Replacing is asked by FileSelectPopup itself, for the dialog and the hook alike.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!r.allowMakeDirectory) dialog.setOption(QFileDialog::ReadOnly, true);
    bool load = r.button == SelectButton::Load || r.button == SelectButton::Select;
    dialog.setAcceptMode(load ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(load ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!r.filter.empty()) dialog.setNameFilter(QString::fromStdString(r.filter));
    if (!r.defaultFile.empty()) dialog.selectFile(QString::fromStdString(r.defaultFile));
    static const char* const labels[] = {"OK", "Load", "Save", "Select"}; // by SelectButton
    dialog.setLabelText(QFileDialog::Accept, QString::fromLatin1(labels[static_cast<int>(r.button)]));
    if (dialog.exec() != QDialog::Accepted) return VAL_NO_FILE_SELECTED;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return VAL_NO_FILE_SELECTED;
    chosen = files.first().toStdString();
    return VAL_NEW_FILE_SELECTED;
}

} // namespace

void SetFileSelectHook(FileSelectHook hook) { g_fileSelectHook = std::move(hook); }
void SetConfirmHook(ConfirmHook hook) { g_confirmHook = std::move(hook); }

int FileSelectPopup(const FileSelectRequest& request, char (&path)[MAX_PATHNAME_LEN]) {
    std::string chosen;
    int result = g_fileSelectHook ? g_fileSelectHook(request, chosen) : RunDialog(request, chosen);
    if (result <= 0) return result;
    if (chosen.empty()) return VAL_NO_FILE_SELECTED;

    if (request.restrictExtension) {
        std::string ext = FilterExtension(request.filter);
        if (!ext.empty() && (chosen.size() < ext.size() ||
                             chosen.compare(chosen.size() - ext.size(), ext.size(), ext) != 0))
            chosen += ext;
    }
    if (chosen.size() >= MAX_PATHNAME_LEN) return -1; // a cut path would name another file

    // Existing or new is what the disk says, whoever answered the chooser.
    QFileInfo info(QString::fromStdString(chosen));
    result = info.exists() ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    if (result == VAL_EXISTING_FILE_SELECTED && request.confirmReplace) {
        std::string question = chosen + " already exists.\nDo you want to replace it?";
        if (!ConfirmPopup(request.title, question)) return VAL_NO_FILE_SELECTED;
    }
    CopyText(path, chosen.c_str());
    return result;
}

