// SPDX-License-Identifier: GPL-3.0-or-later
// Text boxes and pictures: the lines a text box keeps, texts decoded, pictures from files.
#include "runtime/ui_text.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStringDecoder>

#include <algorithm>

#include "runtime/ui_tables.h"

namespace ui {

QString Decode(const char* text) {
    if (!text) return {};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(text));
    return utf8.hasError() ? QString::fromLatin1(text) : s;
}

void ShowTextBox(Ctrl& c) {
    QString text;
    for (size_t i = 0; i < c.lines.size(); ++i) {
        if (i) text += '\n';
        text += Decode(c.lines[i].c_str());
    }
    static_cast<QPlainTextEdit*>(c.w)->setPlainText(text);
}

std::vector<std::string> SplitLines(const char* text) {
    std::vector<std::string> out;
    for (const QByteArray& line : QByteArray(text ? text : "").split('\n')) out.push_back(line.toStdString());
    if (out.size() > 1 && out.back().empty()) out.pop_back();
    return out;
}

} // namespace ui

using namespace ui;

int ReplaceTextBoxLine(int panel, int control, int line, const char* text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind != CtrlKind::TextBox) return UIE_BAD_CONTROL;
    if (line < 0 || line > 10000) return UIE_BAD_VALUE;
    if (static_cast<int>(c->lines.size()) <= line) c->lines.resize(line + 1);
    std::string t = text ? text : "";
    t.erase(std::remove(t.begin(), t.end(), '\n'), t.end()); // one line stays one line
    c->lines[line] = t;
    ShowTextBox(*c);
    return 0;
}

int ResetTextBox(int panel, int control, const char* text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind != CtrlKind::TextBox) return UIE_BAD_CONTROL;
    c->lines = SplitLines(text);
    if (c->lines.size() == 1 && c->lines[0].empty()) c->lines.clear();
    ShowTextBox(*c);
    return 0;
}

int GetTextBoxLine(int panel, int control, int line, std::string& text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind != CtrlKind::TextBox) return UIE_BAD_CONTROL;
    if (line < 0 || line >= static_cast<int>(c->lines.size())) return UIE_BAD_VALUE;
    text = c->lines[line];
    return 0;
}

int DisplayImageFile(int panel, int control, const char* path) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind != CtrlKind::Picture) return UIE_BAD_CONTROL;
    if (!path || !*path) return UIE_FILE_ERROR;
    QString file = QString::fromUtf8(path);
    // A bare name is looked for where it is given, then beside the program.
    if (QFileInfo(file).isRelative() && !QFileInfo::exists(file))
        file = QCoreApplication::applicationDirPath() + "/" + file;
    QPixmap pm;
    if (!pm.load(file)) return UIE_FILE_ERROR; // the picture stays as it was
    static_cast<QLabel*>(c->w)->setPixmap(pm);
    c->box->resize(pm.size());
    return 0;
}
