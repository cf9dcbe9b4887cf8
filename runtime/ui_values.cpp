// SPDX-License-Identifier: GPL-3.0-or-later
// Control values and attributes: values in and out of every kind of control, and attributes.
#include "runtime/ui_values.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "runtime/ui_refresh.h"
#include "runtime/ui_tables.h"
#include "runtime/value_view.h"

namespace ui {

QColor Rgb(int c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

namespace {

int FromColor(const QColor& c) { return (c.red() << 16) | (c.green() << 8) | c.blue(); }
QString Css(int c) { return Rgb(c).name(); }

// Displays follow every live answer; most of the time the number has not changed.
void ShowNumber(Ctrl& c) { QueueValue(static_cast<ValueView*>(c.w), c.num); }

void ApplyFont(Ctrl& c) {
    QFont f = c.w->font();
    if (!c.font.empty()) {
        if (c.font == "NIApp") { // the application font, narrow like the dialog fonts texts are placed for
            // The real family: a stretch is not applied through an alias such as "Sans Serif".
            // Two thirds of the width: the brand title in bold 16 points ends before the version
            // line 160 pixels on, with room to spare at 144 dpi.
            f.setFamily(QFontInfo(QApplication::font()).family());
            f.setStretch(68);
        }
        else
            f.setFamily(QString::fromStdString(c.font));
    }
    f.setBold(c.bold != 0);
    if (c.pt > 0) f.setPointSize(c.pt);
    c.w->setFont(f);
    if (c.kind == CtrlKind::TextMessage) c.box->adjustSize();
}

// -1 when the control takes no text.
int SetText(Ctrl& c, const char* text) {
    const QString t = Decode(text);
    switch (c.kind) {
    case CtrlKind::TextDisplay:
        c.text = text ? text : "";
        static_cast<QLineEdit*>(c.w)->setText(t);
        // The text is the display's description too: a screen reader reads it with the
        // display's name, and the toolkit tells it of every change (the status line's news).
        c.w->setAccessibleDescription(t);
        return 0;
    case CtrlKind::TextMessage:
        c.text = text ? text : "";
        static_cast<QLabel*>(c.w)->setText(t);
        c.box->adjustSize();
        return 0;
    case CtrlKind::TextBox:
        c.lines = SplitLines(text);
        ShowTextBox(c);
        return 0;
    case CtrlKind::CommandButton:
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch:
        static_cast<QAbstractButton*>(c.w)->setText(t);
        c.label = text ? text : "";
        return 0;
    default:
        return -1;
    }
}

int SetNumber(int panel, int control, long long v, double exact, bool isDouble) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind == CtrlKind::NumericDisplay) {
        c->num = isDouble ? exact : static_cast<double>(v);
        ShowNumber(*c);
        return 0;
    }
    if (c->kind == CtrlKind::TextDisplay || c->kind == CtrlKind::TextMessage || c->kind == CtrlKind::TextBox) {
        std::string t = isDouble ? NumberText(exact).toStdString() : std::to_string(v);
        return SetText(*c, t.c_str());
    }
    if (c->kind == CtrlKind::CommandButton) return 0;
    return SetInt(*c, v) < 0 ? UIE_BAD_VALUE : 0;
}

} // namespace

void ApplyStyle(Ctrl& c) {
    QString css;
    switch (c.kind) {
    case CtrlKind::Decoration: {
        int col = c.frame >= 0 ? c.frame : (c.bg >= 0 ? c.bg : 0xC0C0C0);
        css = QString("QFrame { background-color: %1; border: none; }").arg(Css(col));
        break;
    }
    case CtrlKind::Led: {
        QString on = Css(c.fg >= 0 && c.fg != 0 ? c.fg : 0x00D000);
        QString off = "#305030";
        css = QString("QLabel { border-radius: 8px; border: 1px solid #202020; background-color: %1; }")
                  .arg(c.value ? on : off);
        break;
    }
    default:
        if (c.bg >= 0) css += QString("background-color: %1;").arg(Css(c.bg));
        if (c.fg >= 0) css += QString("color: %1;").arg(Css(c.fg));
        break;
    }
    // A lamp may change with every live answer: it takes its look at the refresh pass.
    if (c.kind == CtrlKind::Led) return QueueLed(static_cast<LedView*>(c.w), css);
    // Restyling re-polishes and repaints the widget.
    if (c.w->styleSheet() != css) c.w->setStyleSheet(css);
}

int SetInt(Ctrl& c, long long v) {
    QSignalBlocker block(c.w);
    switch (c.kind) {
    case CtrlKind::Numeric: {
        auto* sb = static_cast<QSpinBox*>(c.w);
        int old = sb->value();
        sb->setValue(static_cast<int>(std::clamp<long long>(v, sb->minimum(), sb->maximum())));
        return sb->value() != old;
    }
    case CtrlKind::Ring: {
        auto* cb = static_cast<QComboBox*>(c.w);
        int old = cb->currentIndex();
        int idx = cb->findData(static_cast<int>(v));
        if (idx < 0) { // keep a value no item has, so it reads back the same
            cb->addItem(QString::number(v), static_cast<int>(v));
            idx = cb->count() - 1;
        }
        cb->setCurrentIndex(idx);
        return idx != old;
    }
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: {
        auto* b = static_cast<QAbstractButton*>(c.w);
        bool old = b->isChecked();
        b->setChecked(v != 0);
        return old != (v != 0);
    }
    case CtrlKind::Led: {
        int old = c.value;
        c.value = v != 0;
        ApplyStyle(c);
        return old != c.value;
    }
    case CtrlKind::ProgressBar: {
        auto* pb = static_cast<ProgressView*>(c.w);
        const int old = pb->pending();
        QueueProgress(pb, static_cast<int>(std::clamp<long long>(v, pb->minimum(), pb->maximum())));
        return old != pb->pending();
    }
    default:
        return -1;
    }
}

int GetInt(Ctrl& c, long long& v) {
    switch (c.kind) {
    case CtrlKind::Numeric: v = static_cast<QSpinBox*>(c.w)->value(); return 0;
    case CtrlKind::NumericDisplay: v = static_cast<long long>(std::llround(c.num)); return 0;
    case CtrlKind::Ring: {
        auto* cb = static_cast<QComboBox*>(c.w);
        v = cb->currentIndex() >= 0 ? cb->currentData().toInt() : 0;
        return 0;
    }
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: v = static_cast<QAbstractButton*>(c.w)->isChecked(); return 0;
    case CtrlKind::Led: v = c.value; return 0;
    case CtrlKind::ProgressBar: v = static_cast<ProgressView*>(c.w)->pending(); return 0;
    default: return UIE_BAD_VALUE;
    }
}

} // namespace ui

using namespace ui;

int GetCtrlVal(int panel, int control, int& value) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    long long v = 0;
    int r = GetInt(*c, v);
    if (r < 0) return r;
    value = static_cast<int>(static_cast<unsigned long long>(v)); // wraps like a 32-bit register
    return 0;
}

int GetCtrlVal(int panel, int control, uint16_t& value) {
    int v = 0;
    int r = GetCtrlVal(panel, control, v);
    if (r < 0) return r;
    value = static_cast<uint16_t>(v & 0xFFFF);
    return 0;
}

int GetCtrlVal(int panel, int control, double& value) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind == CtrlKind::NumericDisplay) {
        value = c->num;
        return 0;
    }
    long long v = 0;
    int r = GetInt(*c, v);
    if (r < 0) return r;
    value = static_cast<double>(v);
    return 0;
}

int GetCtrlVal(int panel, int control, std::string& value) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    switch (c->kind) {
    case CtrlKind::TextDisplay:
    case CtrlKind::TextMessage: value = c->text; return 0;
    case CtrlKind::TextBox: {
        value.clear();
        for (size_t i = 0; i < c->lines.size(); ++i) value += (i ? "\n" : "") + c->lines[i];
        return 0;
    }
    case CtrlKind::Ring: value = static_cast<QComboBox*>(c->w)->currentText().toStdString(); return 0;
    case CtrlKind::NumericDisplay: value = NumberText(c->num).toStdString(); return 0;
    default: {
        long long v = 0;
        int r = GetInt(*c, v);
        if (r < 0) return r;
        value = std::to_string(v);
        return 0;
    }
    }
}

int SetCtrlVal(int panel, int control, int value) { return SetNumber(panel, control, value, value, false); }
int SetCtrlVal(int panel, int control, unsigned int value) {
    return SetNumber(panel, control, static_cast<long long>(value), value, false);
}
int SetCtrlVal(int panel, int control, double value) {
    long long v = std::isfinite(value) ? std::llround(std::clamp(value, -9e18, 9e18)) : 0;
    return SetNumber(panel, control, v, value, true);
}
int SetCtrlVal(int panel, int control, const char* text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (SetText(*c, text) == 0) return 0;
    bool ok = false; // a number for the controls that take no text
    double v = QString::fromUtf8(text ? text : "").trimmed().toDouble(&ok);
    if (!ok) return UIE_BAD_VALUE;
    return SetCtrlVal(panel, control, v);
}

int SetCtrlAttribute(int panel, int control, Attr attribute, int value) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    Chart* ch = c->chart.get();
    switch (attribute) {
    case Attr::Dimmed:
    case Attr::Locked:
        (attribute == Attr::Dimmed ? c->dimmed : c->locked) = value != 0;
        c->box->setEnabled(!c->dimmed && !c->locked);
        return 0;
    case Attr::Visible:
        c->visible = value != 0;
        c->box->setVisible(c->visible);
        if (ch && c->kind == CtrlKind::StripChart) {
            ch->hidden = !c->visible;
            if (ch->dirty) ScheduleStrip(*ch);
        }
        return 0;
    case Attr::TextBgColor:
        c->bg = value & 0xFFFFFF;
        if (c->kind == CtrlKind::Decoration) c->frame = c->bg;
        ApplyStyle(*c);
        return 0;
    case Attr::TextColor:
        c->fg = value & 0xFFFFFF;
        ApplyStyle(*c);
        return 0;
    case Attr::FrameColor:
        c->frame = value & 0xFFFFFF;
        ApplyStyle(*c);
        return 0;
    case Attr::Top: c->box->move(c->box->x(), value); return 0;
    case Attr::Left: c->box->move(value, c->box->y()); return 0;
    case Attr::Width:
        c->box->setFixedWidth(std::max(0, value));
        return 0;
    case Attr::TextBold:
        c->bold = value != 0;
        ApplyFont(*c);
        return 0;
    case Attr::TextPointSize:
        if (value <= 0) return UIE_BAD_VALUE;
        c->pt = value;
        ApplyFont(*c);
        return 0;
    case Attr::PointsPerScreen:
        if (!ch || c->kind != CtrlKind::StripChart) return UIE_BAD_ATTRIBUTE;
        return SetPointsPerScreen(*ch, value);
    case Attr::NumTraces:
        if (!ch || c->kind != CtrlKind::StripChart) return UIE_BAD_ATTRIBUTE;
        if (value < 1 || value > 16) return UIE_BAD_VALUE;
        SetTraces(*ch, value);
        return 0;
    case Attr::RefreshGraph: return 0; // charts redraw at the paced refresh either way
    case Attr::NumCursors:
        if (!ch || c->kind != CtrlKind::XYGraph) return UIE_BAD_ATTRIBUTE;
        ch->numCursors = std::max(0, value);
        UpdateCursor(*ch);
        return 0;
    case Attr::MinValue:
    case Attr::MaxValue: {
        if (attribute == Attr::MinValue) c->minV = value; else c->maxV = value;
        if (c->kind == CtrlKind::Numeric) {
            QSignalBlocker b(c->w);
            static_cast<QSpinBox*>(c->w)->setRange(c->minV, std::max(c->minV, c->maxV));
        } else if (c->kind == CtrlKind::ProgressBar) {
            auto* pb = static_cast<ProgressView*>(c->w);
            pb->setRange(c->minV, std::max(c->minV, c->maxV));
            QueueProgress(pb, pb->pending()); // held within the new range
        }
        return 0;
    }
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, int control, Attr attribute, const char* text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    const QString t = QString::fromUtf8(text ? text : "");
    switch (attribute) {
    case Attr::LabelText:
        c->label = text ? text : "";
        if (c->lab) c->lab->setText(t);
        else if (auto* b = qobject_cast<QAbstractButton*>(c->w)) b->setText(t);
        else if (c->kind == CtrlKind::TextMessage) SetText(*c, text);
        if (!c->ownName && (c->w->accessibleName().isEmpty() || c->lab || qobject_cast<QAbstractButton*>(c->w)))
            c->w->setAccessibleName(t);
        return 0;
    case Attr::TextFont:
        c->font = text ? text : "";
        ApplyFont(*c);
        return 0;
    case Attr::YName:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        c->chart->ay->setTitleText(t);
        return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, Attr attribute, int& value) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    QWidget* window = FindPanel(panel)->win;
    switch (attribute) {
    case Attr::Dimmed: value = c->dimmed; return 0;
    case Attr::Locked: value = c->locked; return 0;
    case Attr::Visible: value = c->visible; return 0;
    case Attr::TextBgColor: value = c->bg >= 0 ? c->bg : FromColor(c->w->palette().color(QPalette::Base)); return 0;
    case Attr::TextColor: value = c->fg >= 0 ? c->fg : FromColor(c->w->palette().color(QPalette::Text)); return 0;
    case Attr::FrameColor: value = c->frame >= 0 ? c->frame : (c->bg >= 0 ? c->bg : 0xC0C0C0); return 0;
    case Attr::Top: value = c->box->mapTo(window, QPoint(0, 0)).y(); return 0;
    case Attr::Left: value = c->box->mapTo(window, QPoint(0, 0)).x(); return 0;
    case Attr::Width: value = c->box->width(); return 0;
    case Attr::TextBold: value = c->w->font().bold(); return 0;
    case Attr::TextPointSize: {
        const QFont f = c->w->font();
        value = f.pointSize() > 0 ? f.pointSize() : QFontInfo(f).pointSize();
        return 0;
    }
    case Attr::MinValue: value = c->minV; return 0;
    case Attr::MaxValue: value = c->maxV; return 0;
    case Attr::PointsPerScreen:
    case Attr::NumTraces:
        if (c->kind != CtrlKind::StripChart) return UIE_BAD_ATTRIBUTE;
        value = attribute == Attr::PointsPerScreen ? c->chart->pps : static_cast<int>(c->chart->traces.size());
        return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, Attr attribute, std::string& text) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    switch (attribute) {
    case Attr::LabelText: text = c->label; return 0;
    case Attr::TextFont: text = c->font.empty() ? c->w->font().family().toStdString() : c->font; return 0;
    case Attr::YName:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        text = c->chart->ay->titleText().toStdString();
        return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}
