// SPDX-License-Identifier: GPL-3.0-or-later
// Panels and controls: the tables, loading panels, the control factory, controls made at run time.
#include "runtime/ui_panels.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QtCharts/QChartView>

#include <algorithm>

#include "runtime/panel_builder.h"
#include "runtime/strip_chart.h"
#include "runtime/ui_tables.h"
#include "runtime/value_view.h"

namespace ui {

namespace {

struct Resource {
    PanelBuilder builder = nullptr;
    PanelCallbackPtr cb = nullptr;
};

std::map<std::pair<std::string, int>, Resource>& Resources() {
    static std::map<std::pair<std::string, int>, Resource> r;
    return r;
}
std::map<int, std::unique_ptr<Panel>>& Panels() {
    static std::map<int, std::unique_ptr<Panel>> p;
    return p;
}
int gNextHandle = 1;

} // namespace

Panel* FindPanel(int h) {
    auto it = Panels().find(h);
    return it == Panels().end() ? nullptr : it->second.get();
}
Ctrl* FindCtrl(int h, int id) {
    Panel* p = FindPanel(h);
    if (!p) return nullptr;
    auto it = p->ctrls.find(id);
    return it == p->ctrls.end() ? nullptr : it->second.get();
}

int Lookup(int panel, int control, Ctrl*& c) {
    c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    return 0;
}

int LookupChart(int panel, int control, Chart*& ch, std::optional<CtrlKind> want) {
    Ctrl* c;
    ch = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (!c->chart || (want && c->kind != *want)) return UIE_BAD_CONTROL;
    ch = c->chart.get();
    return 0;
}

int Deliver(int panel, int id, int event, int d1, int d2) {
    Ctrl* c = FindCtrl(panel, id);
    if (!c || !c->cb) return 0;
    return c->cb(panel, id, event, nullptr, d1, d2);
}

} // namespace ui

using namespace ui;

namespace {

// A panel's window: the window manager's close goes to the panel callback and is refused;
// only the program decides what closing means.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(int handle) : handle_(handle) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        Panel* p = FindPanel(handle_);
        if (p && p->cb) p->cb(handle_, EVENT_CLOSE, nullptr, 0, 0);
    }

private:
    int handle_;
};

// A command button gives left click, then commit, however it is pressed. The mouse: left click
// on the press, commit on the release over the button (the toolkit's clicked). Space, Enter or
// Return on the focused button: both at the key press, and the key's release does nothing more.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, int panel, int id) : QObject(parent), panel_(panel), id_(id) {}

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        auto* b = qobject_cast<QAbstractButton*>(obj);
        if (!b || !b->isEnabled()) return false;
        if (e->type() == QEvent::MouseButtonPress) {
            if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) Deliver(panel_, id_, EVENT_LEFT_CLICK);
            return false;
        }
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
        auto* ke = static_cast<QKeyEvent*>(e);
        if (!IsPressKey(ke)) return false;
        if (e->type() == QEvent::KeyPress && !ke->isAutoRepeat()) {
            QPointer<QAbstractButton> alive(b);
            Deliver(panel_, id_, EVENT_LEFT_CLICK);
            // The left click's callback may have dimmed or discarded the button.
            if (alive && alive->isEnabled()) alive->click();
        }
        return true;
    }

private:
    // With any modifier: the toolkit's own Space handling ignores them too.
    static bool IsPressKey(const QKeyEvent* ke) {
        const int k = ke->key();
        return k == Qt::Key_Space || k == Qt::Key_Select || k == Qt::Key_Return || k == Qt::Key_Enter;
    }
    int panel_, id_;
};

// A ring whose items come from a source, asked again whenever the user opens the ring or moves
// to it (the keys change its value without opening it).
class RingBox : public QComboBox {
public:
    explicit RingBox(RingSource source) : source_(source) {}
    void showPopup() override {
        Refill();
        QComboBox::showPopup();
    }
    // Replaces the items with the source's. The value chosen stays chosen and listed, and the
    // program hears nothing: the ring's callback would act on a choice nobody made (reopen a
    // port under the user).
    void Refill() {
        if (!source_) return;
        const std::vector<RingChoice> items = source_();
        bool same = count() == static_cast<int>(items.size());
        for (int i = 0; same && i < count(); ++i)
            same = itemData(i).toInt() == items[i].value && itemText(i).toStdString() == items[i].label;
        if (same) return;
        QSignalBlocker quiet(this);
        const bool chosen = currentIndex() >= 0;
        const int value = currentData().toInt();
        const QString label = currentText();
        clear();
        for (const RingChoice& it : items) addItem(QString::fromStdString(it.label), it.value);
        if (!chosen) return;
        int idx = findData(value);
        if (idx < 0) {
            addItem(label, value);
            idx = count() - 1;
        }
        setCurrentIndex(idx);
    }

protected:
    void focusInEvent(QFocusEvent* e) override {
        Refill();
        QComboBox::focusInEvent(e);
    }

private:
    RingSource source_;
};

// A numeric input whose arrow steps count as a commit.
class NumericBox : public QSpinBox {
public:
    NumericBox(int panel, int id) : panel_(panel), id_(id) {}
    void stepBy(int steps) override {
        QSpinBox::stepBy(steps);
        Deliver(panel_, id_, EVENT_COMMIT);
    }

private:
    int panel_, id_;
};

// The widget of a control, wired to deliver its events; sets whether a label goes above it.
QWidget* MakeWidget(Ctrl& c, const CtrlSpec& s, int h, bool& labelAbove) {
    const int id = s.id;
    const QString label = QString::fromStdString(c.label);
    labelAbove = true;
    switch (s.kind) {
    case CtrlKind::Numeric: {
        auto* sb = new NumericBox(h, id);
        sb->setRange(s.minimum, s.maximum);
        sb->setValue(s.initial);
        sb->setAlignment(Qt::AlignRight);
        QObject::connect(sb, &QSpinBox::valueChanged, sb, [h, id](int) { Deliver(h, id, EVENT_VAL_CHANGED); });
        QObject::connect(sb, &QSpinBox::editingFinished, sb, [h, id] { Deliver(h, id, EVENT_COMMIT); });
        return sb;
    }
    case CtrlKind::NumericDisplay: {
        auto* v = new ValueView;
        c.num = s.initial;
        v->setPending(c.num);
        v->showPending();
        return v;
    }
    case CtrlKind::Ring: {
        auto* cb = new RingBox(s.source);
        for (const RingItem& it : s.items) cb->addItem(QString::fromUtf8(it.label), it.value);
        cb->Refill();
        int idx = cb->findData(s.initial);
        if (idx < 0 && cb->count() > 0) {
            cb->addItem(QString::number(s.initial), s.initial);
            idx = cb->count() - 1;
        }
        cb->setCurrentIndex(idx);
        QObject::connect(cb, &QComboBox::currentIndexChanged, cb, [h, id](int) { Deliver(h, id, EVENT_VAL_CHANGED); });
        QObject::connect(cb, &QComboBox::activated, cb, [h, id](int) { Deliver(h, id, EVENT_COMMIT); });
        return cb;
    }
    case CtrlKind::CommandButton: {
        labelAbove = false;
        auto* b = new QPushButton(label);
        b->installEventFilter(new ClickFilter(b, h, id));
        QObject::connect(b, &QPushButton::clicked, b, [h, id] { Deliver(h, id, EVENT_COMMIT); });
        return b;
    }
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: {
        labelAbove = false;
        QAbstractButton* b;
        if (s.kind == CtrlKind::ToggleButton) {
            b = new QPushButton(label);
            b->setCheckable(true);
        } else if (s.kind == CtrlKind::RadioButton) {
            b = new QRadioButton(label);
            b->setAutoExclusive(false);
        } else {
            b = new QCheckBox(label);
        }
        b->setChecked(s.initial != 0);
        QObject::connect(b, &QAbstractButton::toggled, b, [h, id](bool) { Deliver(h, id, EVENT_VAL_CHANGED); });
        QObject::connect(b, &QAbstractButton::clicked, b, [h, id](bool) { Deliver(h, id, EVENT_COMMIT); });
        return b;
    }
    case CtrlKind::Led: {
        auto* l = new LedView;
        l->setFixedSize(16, 16);
        c.value = s.initial != 0;
        return l;
    }
    case CtrlKind::TextDisplay: {
        auto* le = new QLineEdit;
        le->setReadOnly(true);
        return le;
    }
    case CtrlKind::TextBox: {
        auto* te = new QPlainTextEdit;
        te->setReadOnly(true);
        te->setLineWrapMode(QPlainTextEdit::NoWrap);
        te->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        te->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        return te;
    }
    case CtrlKind::TextMessage:
        labelAbove = false;
        c.text = c.label;
        return new QLabel(label);
    case CtrlKind::StripChart:
    case CtrlKind::XYGraph:
        c.chart = s.kind == CtrlKind::StripChart ? NewStripChart(h, id) : NewGraph();
        labelAbove = !c.label.empty();
        return c.chart->strip ? static_cast<QWidget*>(c.chart->strip) : c.chart->view;
    case CtrlKind::Picture: {
        labelAbove = false;
        auto* l = new QLabel;
        l->setAlignment(Qt::AlignCenter);
        return l;
    }
    case CtrlKind::Decoration: {
        labelAbove = false;
        auto* f = new QFrame;
        f->setMinimumHeight(4);
        return f;
    }
    case CtrlKind::ProgressBar: {
        auto* pb = new ProgressView;
        pb->setRange(s.minimum, s.maximum);
        pb->setPending(s.initial);
        pb->showPending();
        return pb;
    }
    }
    return nullptr;
}

Ctrl* MakeCtrl(Panel* p, const CtrlSpec& s, QWidget* parent) {
    auto c = std::make_unique<Ctrl>();
    c->kind = s.kind;
    c->name = s.name ? s.name : "";
    c->label = s.label ? s.label : "";
    c->cb = s.callback;
    c->minV = s.minimum;
    c->maxV = s.maximum;
    const QString label = QString::fromStdString(c->label);
    bool labelAbove = false;
    c->w = MakeWidget(*c, s, p->handle, labelAbove);
    c->w->setObjectName(QString::fromUtf8(c->name.c_str()));
    c->ownName = s.accessibleName != nullptr;
    c->w->setAccessibleName(c->ownName ? QString::fromUtf8(s.accessibleName) : label);
    if (labelAbove && !c->label.empty()) {
        auto* box = new QWidget(parent);
        auto* lay = new QVBoxLayout(box);
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(1);
        c->lab = new QLabel(label, box);
        lay->addWidget(c->lab);
        lay->addWidget(c->w, 1);
        c->lab->setBuddy(c->w);
        c->box = box;
    } else {
        c->w->setParent(parent);
        c->box = c->w;
    }
    if (c->kind == CtrlKind::Led || c->kind == CtrlKind::Decoration) ApplyStyle(*c);
    Ctrl* raw = c.get();
    p->ctrls[s.id] = std::move(c);
    p->order.push_back(s.id);
    return raw;
}

} // namespace

void RegisterPanelResource(const char* file, int resourcePanel, PanelBuilder builder, PanelCallbackPtr callback) {
    Resources()[{file ? file : "", resourcePanel}] = Resource{builder, callback};
}

int LoadPanel(int parentPanel, const char* file, int resourcePanel) {
    (void)parentPanel;
    if (!file) return UIE_NO_RESOURCE;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return UIE_NO_RESOURCE; // run-time not up
    auto it = Resources().find({file, resourcePanel});
    if (it == Resources().end()) {
        // A registered file name with an unknown panel number is a bad panel; an unknown file
        // is a missing resource.
        for (auto& [key, r] : Resources())
            if (key.first == file) return UIE_BAD_PANEL;
        return UIE_FILE_ERROR;
    }
    auto p = std::make_unique<Panel>();
    p->handle = gNextHandle++;
    p->cb = it->second.cb;
    p->win = new PanelWindow(p->handle);
    Panel* raw = p.get();
    Panels()[raw->handle] = std::move(p);
    if (it->second.builder) it->second.builder(raw->handle);
    return raw->handle;
}

int DisplayPanel(int panel) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    p->win->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) p->win->raise();
    return 0;
}

int HidePanel(int panel) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    p->win->hide();
    return 0;
}

int DiscardPanel(int panel) {
    auto it = Panels().find(panel);
    if (it == Panels().end()) return UIE_BAD_PANEL;
    QWidget* w = it->second->win;
    Panels().erase(it);
    w->hide();
    w->deleteLater(); // a callback of this panel may still be on the stack
    return 0;
}

int NewCtrl(int panel, CtrlKind kind, const char* label, int top, int left) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    CtrlSpec s{};
    s.id = p->nextNew++;
    s.kind = kind;
    s.name = "";
    s.label = label ? label : "";
    Ctrl* c = MakeCtrl(p, s, p->win);
    c->name = "NEWCTRL_" + std::to_string(s.id);
    c->w->setObjectName(QString::fromStdString(c->name));
    // Free-floating at an absolute place, above everything laid out before it.
    c->box->adjustSize();
    c->box->move(left, top);
    c->box->raise();
    c->box->show();
    p->newCtrls.push_back(s.id);
    return s.id;
}

std::vector<int> GetNewCtrls(int panel) {
    Panel* p = FindPanel(panel);
    return p ? p->newCtrls : std::vector<int>{};
}

QWidget* AddCtrl(int panel, const CtrlSpec& form) {
    Panel* p = FindPanel(panel);
    if (!p || form.id <= 0 || p->ctrls.count(form.id)) return nullptr;
    return MakeCtrl(p, form, p->win)->box;
}

QWidget* PanelWidget(int panel) {
    Panel* p = FindPanel(panel);
    return p ? p->win : nullptr;
}

void SetPanelTitle(int panel, const char* title) {
    Panel* p = FindPanel(panel);
    if (p) p->win->setWindowTitle(QString::fromUtf8(title ? title : ""));
}
