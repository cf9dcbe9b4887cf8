// User-interface run-time over Qt Widgets and Qt Charts. Panels and controls live in tables
// addressed by handle and control number; signal handlers look their control up again by
// number, so a panel discarded from inside a callback never leaves a dangling pointer behind.
#include "platform/ui.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringDecoder>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "platform/panel_builder.h"
#include "platform/ui_query.h"

namespace {

// ---- Tables ----------------------------------------------------------------------------------

struct Trace {
    std::vector<double> hist; // newest last, at most pps values
    QList<QPointF> points;     // reused buffer handed to the series
    QLineSeries* series = nullptr;
    int colour = 0;
};

struct Plot {
    QLineSeries* series = nullptr;
    GraphPlotInfo info;
};

struct Chart {
    QChart* chart = nullptr;
    QChartView* view = nullptr;
    QValueAxis* ax = nullptr;
    QValueAxis* ay = nullptr;
    bool autoX = false, autoY = false;
    // Strip chart
    int pps = 101;
    std::vector<Trace> traces;
    int panel = 0, id = 0; // where a strip chart sits, for its paced refresh
    bool dirty = false;    // the histories hold points the series have not taken yet
    bool hidden = false;
    // XY graph
    std::map<int, Plot> plots;
    int nextPlot = 1;
    QLineSeries* curV = nullptr;
    QLineSeries* curH = nullptr;
    QScatterSeries* curM = nullptr;
    int numCursors = 1;
    bool cursorPlaced = false;
    double cx = 0, cy = 0;
    int cursorColour = 0xFF00FF;
    int cursorStyle = 1;
};

struct Ctrl {
    int id = 0;
    CtrlKind kind = CtrlKind::TextMessage;
    std::string name;
    std::string label;
    CtrlCallbackPtr cb = nullptr;
    QWidget* box = nullptr;  // what the layout holds (label + widget)
    QLabel* lab = nullptr;   // the label, for kinds that carry one above the widget
    QWidget* w = nullptr;    // the control itself
    double num = 0;          // numeric display value
    int value = 0;           // led
    std::vector<std::string> lines; // text box
    std::string text;               // text display / message: the bytes as given
    int bg = -1, fg = -1, frame = -1;
    std::string font;
    int bold = 0, pt = 0;
    bool ownName = false;    // the form named it for screen readers; label changes keep that name
    int dimmed = 0, locked = 0, visible = 1;
    int minV = 0, maxV = 65535;
    int refresh = 1;
    std::unique_ptr<Chart> chart;
};

class PanelWindow;

struct Panel {
    int handle = 0;
    std::string file;
    int resource = 0;
    PanelWindow* win = nullptr;
    PanelCallbackPtr cb = nullptr;
    std::map<int, std::unique_ptr<Ctrl>> ctrls;
    std::vector<int> order;    // creation order
    std::vector<int> newCtrls; // made with NewCtrl
    int nextNew = 1000;
};

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

int Deliver(int panel, int id, int event, int d1 = 0, int d2 = 0) {
    Ctrl* c = FindCtrl(panel, id);
    if (!c || !c->cb) return 0;
    return c->cb(panel, id, event, nullptr, d1, d2);
}
int DeliverPanel(int panel, int event, int d1 = 0, int d2 = 0) {
    Panel* p = FindPanel(panel);
    if (!p || !p->cb) return 0;
    return p->cb(panel, event, nullptr, d1, d2);
}

// A panel's window: the window manager's close goes to the panel callback and is refused;
// only the program decides what closing means.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(int handle) : handle_(handle) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        DeliverPanel(handle_, EVENT_CLOSE);
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

// Texts may come from the line (firmware text) as well as from the program: shown as UTF-8
// when they are, else byte for byte as Latin-1; read back as the bytes given either way.
QString Decode(const char* text) {
    if (!text) return {};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(text));
    return utf8.hasError() ? QString::fromLatin1(text) : s;
}

QColor Rgb(int c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
int FromColor(const QColor& c) { return (c.red() << 16) | (c.green() << 8) | c.blue(); }
QString Css(int c) { return Rgb(c).name(); }

const int kTraceColours[] = {0xFF0000, 0x0000FF, 0x008000, 0xFF8000, 0x800080, 0x404040, 0x00A0A0, 0x000000};

QString NumberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<long long>(v));
    return QString::number(v, 'g', 10);
}

// Displays follow every live answer; most of the time the number has not changed.
void QueueText(QLineEdit* le, const QString& text);

void ShowNumber(Ctrl& c) {
    QueueText(static_cast<QLineEdit*>(c.w), NumberText(c.num));
}

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
    // Restyling re-polishes and repaints the widget: LEDs are set on every live answer.
    if (c.w->styleSheet() != css) c.w->setStyleSheet(css);
}

void ApplyFont(Ctrl& c) {
    QFont f = c.w->font();
    if (!c.font.empty()) {
        if (c.font == "NIApp") { // the application font, narrow like the dialog fonts texts are placed for
            f.setFamily(QApplication::font().family());
            f.setStretch(QFont::Condensed);
        }
        else
            f.setFamily(QString::fromStdString(c.font));
    }
    f.setBold(c.bold != 0);
    if (c.pt > 0) f.setPointSize(c.pt);
    c.w->setFont(f);
    if (c.kind == CtrlKind::TextMessage) c.box->adjustSize();
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
    std::string s = text ? text : "";
    size_t pos = 0;
    while (true) {
        size_t nl = s.find('\n', pos);
        if (nl == std::string::npos) {
            out.push_back(s.substr(pos));
            break;
        }
        out.push_back(s.substr(pos, nl - pos));
        pos = nl + 1;
    }
    if (out.size() > 1 && out.back().empty()) out.pop_back();
    return out;
}

// ---- Charts ----------------------------------------------------------------------------------

Chart* MakeChart(QWidget* parent) {
    auto* ch = new Chart;
    ch->chart = new QChart;
    ch->chart->legend()->hide();
    ch->chart->setMargins(QMargins(4, 4, 4, 4));
    ch->chart->setBackgroundRoundness(0);
    ch->ax = new QValueAxis;
    ch->ay = new QValueAxis;
    ch->ax->setLabelFormat("%d");
    ch->ay->setLabelFormat("%d");
    ch->chart->addAxis(ch->ax, Qt::AlignBottom);
    ch->chart->addAxis(ch->ay, Qt::AlignLeft);
    ch->view = new QChartView(ch->chart, parent);
    ch->view->setRenderHint(QPainter::Antialiasing, false);
    ch->view->setMinimumSize(200, 120);
    ch->view->setFocusPolicy(Qt::NoFocus); // draws only: Tab passes it by
    return ch;
}

void SetTraces(Chart& ch, int n) {
    n = std::clamp(n, 1, 16);
    while (static_cast<int>(ch.traces.size()) > n) {
        ch.chart->removeSeries(ch.traces.back().series);
        delete ch.traces.back().series;
        ch.traces.pop_back();
    }
    while (static_cast<int>(ch.traces.size()) < n) {
        Trace t;
        t.series = new QLineSeries;
        t.colour = kTraceColours[ch.traces.size() % 8];
        QPen pen(Rgb(t.colour));
        pen.setWidth(2);
        t.series->setPen(pen);
        ch.chart->addSeries(t.series);
        t.series->attachAxis(ch.ax);
        t.series->attachAxis(ch.ay);
        t.hist.reserve(ch.pps);
        t.points.reserve(ch.pps);
        ch.traces.push_back(std::move(t));
    }
}

void PushTrace(Trace& t) {
    const int n = static_cast<int>(t.hist.size());
    t.points.resize(n);
    for (int i = 0; i < n; ++i) t.points[i] = QPointF(i, t.hist[i]);
    t.series->replace(t.points);
}

// ---- Paced refresh ----
// Live answers come 25 or more times a second. The strip charts and the numeric displays they
// feed take their new contents in one pass, at most every kRefreshMs while changes keep
// coming, so the window repaints at that rate instead of on every answer (laying out and
// painting the large chart and the displays costs more than the live loop itself). Values
// read back at once; only what is drawn lags, by less than kRefreshMs. A hidden chart catches
// up when shown.
constexpr int kRefreshMs = 80;
constexpr int kStripBatchMs = 15; // plots close together share one update

struct RefreshQueue {
    QTimer* timer = nullptr;
    QElapsedTimer last;                                        // the last refresh pass
    std::vector<std::pair<int, int>> charts;                   // panel, control
    std::vector<std::pair<QPointer<QLineEdit>, QString>> texts; // display, its newest text
};

void RunRefresh();

RefreshQueue& Refresh() {
    static RefreshQueue q = [] {
        RefreshQueue r;
        r.timer = new QTimer;
        r.timer->setSingleShot(true);
        QObject::connect(r.timer, &QTimer::timeout, r.timer, [] { RunRefresh(); });
        return r;
    }();
    return q;
}

void RequestRefresh(int batchMs) {
    RefreshQueue& q = Refresh();
    if (q.timer->isActive()) return; // the pass already planned takes this change too
    qint64 wait = batchMs;
    if (q.last.isValid()) wait = std::max<qint64>(wait, kRefreshMs - q.last.elapsed());
    q.timer->start(static_cast<int>(wait));
}

void FlushStrip(Chart& ch) {
    if (!ch.dirty || ch.hidden) return;
    ch.dirty = false;
    for (Trace& t : ch.traces) PushTrace(t);
}

void RunRefresh() {
    RefreshQueue& q = Refresh();
    q.timer->stop();
    q.last.start();
    const auto texts = std::move(q.texts);
    const auto charts = std::move(q.charts);
    q.texts.clear();
    q.charts.clear();
    for (const auto& [le, text] : texts)
        if (le && le->text() != text) le->setText(text);
    for (const auto& [panel, id] : charts) {
        Ctrl* c = FindCtrl(panel, id); // the panel may have been discarded meanwhile
        if (c && c->chart) FlushStrip(*c->chart);
    }
}

void QueueText(QLineEdit* le, const QString& text) {
    auto& texts = Refresh().texts;
    auto it = std::find_if(texts.begin(), texts.end(), [le](const auto& e) { return e.first == le; });
    if (it != texts.end())
        it->second = text;
    else if (le->text() != text)
        texts.emplace_back(le, text);
    else
        return;
    RequestRefresh(0);
}

void ScheduleStrip(Chart& ch) {
    ch.dirty = true;
    if (ch.hidden || ch.panel == 0) return;
    auto& charts = Refresh().charts;
    const std::pair<int, int> key{ch.panel, ch.id};
    if (std::find(charts.begin(), charts.end(), key) == charts.end()) charts.push_back(key);
    RequestRefresh(kStripBatchMs);
}

void UpdateCursor(Chart& ch) {
    if (!ch.curV) return;
    const bool show = ch.numCursors > 0 && ch.cursorPlaced;
    ch.curV->setVisible(show);
    ch.curH->setVisible(show);
    ch.curM->setVisible(show);
    if (!show) return;
    double x0 = ch.ax->min(), x1 = ch.ax->max(), y0 = ch.ay->min(), y1 = ch.ay->max();
    if (ch.cursorStyle == 0) { // small cross
        double dx = (x1 - x0) * 0.04, dy = (y1 - y0) * 0.06;
        x0 = ch.cx - dx, x1 = ch.cx + dx, y0 = ch.cy - dy, y1 = ch.cy + dy;
    }
    ch.curV->replace(QList<QPointF>{{ch.cx, y0}, {ch.cx, y1}});
    ch.curH->replace(QList<QPointF>{{x0, ch.cy}, {x1, ch.cy}});
    ch.curM->replace(QList<QPointF>{{ch.cx, ch.cy}});
    QPen pen(Rgb(ch.cursorColour));
    pen.setWidth(1);
    ch.curV->setPen(pen);
    ch.curH->setPen(pen);
    ch.curM->setColor(Rgb(ch.cursorColour));
    ch.curM->setBorderColor(Qt::black);
}

void EnsureCursorSeries(Chart& ch) {
    if (ch.curV) return;
    ch.curV = new QLineSeries;
    ch.curH = new QLineSeries;
    ch.curM = new QScatterSeries;
    ch.curM->setMarkerSize(11);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(ch.curV), static_cast<QAbstractSeries*>(ch.curH),
                               static_cast<QAbstractSeries*>(ch.curM)}) {
        ch.chart->addSeries(s);
        s->attachAxis(ch.ax);
        s->attachAxis(ch.ay);
    }
    QObject::connect(ch.ax, &QValueAxis::rangeChanged, ch.chart, [&ch](qreal, qreal) { UpdateCursor(ch); });
    QObject::connect(ch.ay, &QValueAxis::rangeChanged, ch.chart, [&ch](qreal, qreal) { UpdateCursor(ch); });
    UpdateCursor(ch);
}

// The cursor stays on top of every plot: re-adding its series puts them last in drawing order.
void RaiseCursor(Chart& ch) {
    if (!ch.curV) return;
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(ch.curV), static_cast<QAbstractSeries*>(ch.curH),
                               static_cast<QAbstractSeries*>(ch.curM)}) {
        ch.chart->removeSeries(s);
        ch.chart->addSeries(s);
        s->attachAxis(ch.ax);
        s->attachAxis(ch.ay);
    }
    UpdateCursor(ch);
}

void AutoScale(Chart& ch) {
    if (!ch.autoX && !ch.autoY) return;
    bool any = false;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (auto& [h, p] : ch.plots)
        for (size_t i = 0; i < p.info.x.size(); ++i) {
            double x = p.info.x[i], y = p.info.y[i];
            if (!any) x0 = x1 = x, y0 = y1 = y, any = true;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    if (!any) return;
    if (x1 <= x0) x1 = x0 + 1;
    if (y1 <= y0) y1 = y0 + 1;
    if (ch.autoX) ch.ax->setRange(x0, x1);
    if (ch.autoY) ch.ay->setRange(y0, y1);
}

QWidget* Window(Panel* p) { return p->win; }

Ctrl* MakeCtrl(Panel* p, const CtrlSpec& s, QWidget* parent) {
    auto c = std::make_unique<Ctrl>();
    c->id = s.id;
    c->kind = s.kind;
    c->name = s.name ? s.name : "";
    c->label = s.label ? s.label : "";
    c->cb = s.callback;
    c->minV = s.minimum;
    c->maxV = s.maximum;
    const int h = p->handle, id = s.id;
    const QString label = QString::fromStdString(c->label);
    bool labelAbove = false;
    switch (s.kind) {
    case CtrlKind::Numeric: {
        auto* sb = new NumericBox(h, id);
        sb->setRange(s.minimum, s.maximum);
        sb->setValue(s.initial);
        sb->setAlignment(Qt::AlignRight);
        QObject::connect(sb, &QSpinBox::valueChanged, sb, [h, id](int) { Deliver(h, id, EVENT_VAL_CHANGED); });
        QObject::connect(sb, &QSpinBox::editingFinished, sb, [h, id] { Deliver(h, id, EVENT_COMMIT); });
        c->w = sb;
        labelAbove = true;
        break;
    }
    case CtrlKind::NumericDisplay: {
        auto* le = new QLineEdit;
        le->setReadOnly(true);
        le->setAlignment(Qt::AlignRight);
        le->setFocusPolicy(Qt::NoFocus);
        c->num = s.initial;
        le->setText(NumberText(c->num));
        c->w = le;
        labelAbove = true;
        break;
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
        c->w = cb;
        labelAbove = true;
        break;
    }
    case CtrlKind::CommandButton: {
        auto* b = new QPushButton(label);
        b->installEventFilter(new ClickFilter(b, h, id));
        QObject::connect(b, &QPushButton::clicked, b, [h, id] { Deliver(h, id, EVENT_COMMIT); });
        c->w = b;
        break;
    }
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: {
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
        c->w = b;
        break;
    }
    case CtrlKind::Led: {
        auto* l = new QLabel;
        l->setFixedSize(16, 16);
        c->value = s.initial != 0;
        c->w = l;
        labelAbove = true;
        break;
    }
    case CtrlKind::TextDisplay: {
        auto* le = new QLineEdit;
        le->setReadOnly(true);
        c->w = le;
        labelAbove = true;
        break;
    }
    case CtrlKind::TextBox: {
        auto* te = new QPlainTextEdit;
        te->setReadOnly(true);
        te->setLineWrapMode(QPlainTextEdit::NoWrap);
        te->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        te->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        c->w = te;
        labelAbove = true;
        break;
    }
    case CtrlKind::TextMessage: {
        auto* l = new QLabel(label);
        c->text = c->label;
        c->w = l;
        break;
    }
    case CtrlKind::StripChart:
    case CtrlKind::XYGraph: {
        c->chart.reset(MakeChart(nullptr));
        Chart& ch = *c->chart;
        if (s.kind == CtrlKind::StripChart) {
            ch.ax->setRange(0, ch.pps - 1);
            ch.ay->setRange(0, 100);
            SetTraces(ch, 1);
            ch.panel = h;
            ch.id = id;
        } else {
            ch.ax->setRange(0, 127);
            ch.ay->setRange(0, 100);
            ch.autoX = ch.autoY = true;
            EnsureCursorSeries(ch);
        }
        c->w = ch.view;
        labelAbove = !c->label.empty();
        break;
    }
    case CtrlKind::Picture: {
        auto* l = new QLabel;
        l->setAlignment(Qt::AlignCenter);
        c->w = l;
        break;
    }
    case CtrlKind::Decoration: {
        auto* f = new QFrame;
        f->setMinimumHeight(4);
        c->w = f;
        break;
    }
    case CtrlKind::ProgressBar: {
        auto* pb = new QProgressBar;
        pb->setRange(s.minimum, s.maximum);
        pb->setValue(std::clamp(s.initial, s.minimum, s.maximum));
        c->w = pb;
        labelAbove = true;
        break;
    }
    }
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

bool IsButton(CtrlKind k) {
    return k == CtrlKind::ToggleButton || k == CtrlKind::RadioButton || k == CtrlKind::BinarySwitch;
}

// Sets an integer value without any event; returns whether the value changed, or -1 when the
// control takes no integer.
int SetInt(Ctrl& c, long long v) {
    QSignalBlocker block(c.w);
    switch (c.kind) {
    case CtrlKind::Numeric: {
        auto* sb = static_cast<QSpinBox*>(c.w);
        int old = sb->value();
        sb->setValue(static_cast<int>(std::clamp<long long>(v, sb->minimum(), sb->maximum())));
        return sb->value() != old;
    }
    case CtrlKind::NumericDisplay: {
        double old = c.num;
        c.num = static_cast<double>(v);
        ShowNumber(c);
        return old != c.num;
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
        auto* pb = static_cast<QProgressBar*>(c.w);
        int old = pb->value();
        pb->setValue(static_cast<int>(std::clamp<long long>(v, pb->minimum(), pb->maximum())));
        return old != pb->value();
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
    case CtrlKind::ProgressBar: v = static_cast<QProgressBar*>(c.w)->value(); return 0;
    default: return UIE_BAD_VALUE;
    }
}

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
        return UIE_BAD_VALUE;
    }
}

} // namespace

// ---- Panels --------------------------------------------------------------------------------

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
    p->file = file;
    p->resource = resourcePanel;
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
    Window(p)->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) Window(p)->raise();
    return 0;
}

int HidePanel(int panel) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    Window(p)->hide();
    return 0;
}

int DiscardPanel(int panel) {
    auto it = Panels().find(panel);
    if (it == Panels().end()) return UIE_BAD_PANEL;
    QWidget* w = Window(it->second.get());
    Panels().erase(it);
    w->hide();
    w->deleteLater(); // a callback of this panel may still be on the stack
    return 0;
}

// ---- Control values ------------------------------------------------------------------------

int GetCtrlVal(int panel, int control, int& value) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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

static int SetNumber(int panel, int control, long long v, double exact, bool isDouble) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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

int SetCtrlVal(int panel, int control, int value) { return SetNumber(panel, control, value, value, false); }
int SetCtrlVal(int panel, int control, unsigned int value) {
    return SetNumber(panel, control, static_cast<long long>(value), value, false);
}
int SetCtrlVal(int panel, int control, double value) {
    long long v = std::isfinite(value) ? std::llround(std::clamp(value, -9e18, 9e18)) : 0;
    return SetNumber(panel, control, v, value, true);
}
int SetCtrlVal(int panel, int control, const char* text) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    switch (c->kind) {
    case CtrlKind::TextDisplay:
    case CtrlKind::TextMessage:
    case CtrlKind::TextBox:
    case CtrlKind::CommandButton:
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch:
        return SetText(*c, text);
    default: {
        bool ok = false;
        double v = QString::fromUtf8(text ? text : "").trimmed().toDouble(&ok);
        if (!ok) return UIE_BAD_VALUE;
        return SetCtrlVal(panel, control, v);
    }
    }
}

int SetCtrlAttribute(int panel, int control, Attr attribute, int value) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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
    case Attr::Height:
        c->box->setFixedHeight(std::max(0, value));
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
        if (value < 2 || value > 100000) return UIE_BAD_VALUE;
        ch->pps = value;
        ch->ax->setRange(0, value - 1);
        for (Trace& t : ch->traces) {
            if (static_cast<int>(t.hist.size()) > value) t.hist.erase(t.hist.begin(), t.hist.end() - value);
            t.hist.reserve(value);
            t.points.reserve(value);
        }
        ScheduleStrip(*ch);
        return 0;
    case Attr::NumTraces:
        if (!ch || c->kind != CtrlKind::StripChart) return UIE_BAD_ATTRIBUTE;
        if (value < 1 || value > 16) return UIE_BAD_VALUE;
        SetTraces(*ch, value);
        return 0;
    case Attr::RefreshGraph: c->refresh = value != 0; return 0;
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
            static_cast<QProgressBar*>(c->w)->setRange(c->minV, std::max(c->minV, c->maxV));
        }
        return 0;
    }
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, int control, Attr attribute, const char* text) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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
    case Attr::XName:
    case Attr::YName:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        (attribute == Attr::XName ? c->chart->ax : c->chart->ay)->setTitleText(t);
        return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, Attr attribute, int& value) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    Panel* p = FindPanel(panel);
    switch (attribute) {
    case Attr::Dimmed: value = c->dimmed; return 0;
    case Attr::Locked: value = c->locked; return 0;
    case Attr::Visible: value = c->visible; return 0;
    case Attr::TextBgColor: value = c->bg >= 0 ? c->bg : FromColor(c->w->palette().color(QPalette::Base)); return 0;
    case Attr::TextColor: value = c->fg >= 0 ? c->fg : FromColor(c->w->palette().color(QPalette::Text)); return 0;
    case Attr::FrameColor: value = c->frame >= 0 ? c->frame : (c->bg >= 0 ? c->bg : 0xC0C0C0); return 0;
    case Attr::Top: value = c->box->mapTo(Window(p), QPoint(0, 0)).y(); return 0;
    case Attr::Left: value = c->box->mapTo(Window(p), QPoint(0, 0)).x(); return 0;
    case Attr::Width: value = c->box->width(); return 0;
    case Attr::Height: value = c->box->height(); return 0;
    case Attr::TextBold: value = c->w->font().bold(); return 0;
    case Attr::TextPointSize: {
        const QFont f = c->w->font();
        value = f.pointSize() > 0 ? f.pointSize() : QFontInfo(f).pointSize();
        return 0;
    }
    case Attr::PointsPerScreen:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        value = c->chart->pps;
        return 0;
    case Attr::NumTraces:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        value = static_cast<int>(c->chart->traces.size());
        return 0;
    case Attr::RefreshGraph: value = c->refresh; return 0;
    case Attr::NumCursors:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        value = c->chart->numCursors;
        return 0;
    case Attr::MinValue: value = c->minV; return 0;
    case Attr::MaxValue: value = c->maxV; return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, Attr attribute, std::string& text) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    switch (attribute) {
    case Attr::LabelText: text = c->label; return 0;
    case Attr::TextFont: text = c->font.empty() ? c->w->font().family().toStdString() : c->font; return 0;
    case Attr::XName:
    case Attr::YName:
        if (!c->chart) return UIE_BAD_ATTRIBUTE;
        text = (attribute == Attr::XName ? c->chart->ax : c->chart->ay)->titleText().toStdString();
        return 0;
    default: return UIE_BAD_ATTRIBUTE;
    }
}

// ---- Text boxes ------------------------------------------------------------------------------

int ReplaceTextBoxLine(int panel, int control, int line, const char* text) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
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
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (c->kind != CtrlKind::TextBox) return UIE_BAD_CONTROL;
    c->lines = SplitLines(text);
    if (c->lines.size() == 1 && c->lines[0].empty()) c->lines.clear();
    ShowTextBox(*c);
    return 0;
}

int GetTextBoxLine(int panel, int control, int line, std::string& text) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (c->kind != CtrlKind::TextBox) return UIE_BAD_CONTROL;
    if (line < 0 || line >= static_cast<int>(c->lines.size())) return UIE_BAD_VALUE;
    text = c->lines[line];
    return 0;
}

// ---- Charts --------------------------------------------------------------------------------

static Chart* FindChart(int panel, int control, int& err, CtrlKind want) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) {
        err = FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
        return nullptr;
    }
    if (!c->chart || c->kind != want) {
        err = UIE_BAD_CONTROL;
        return nullptr;
    }
    return c->chart.get();
}

static Chart* AnyChart(int panel, int control, int& err) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) {
        err = FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
        return nullptr;
    }
    if (!c->chart) {
        err = UIE_BAD_CONTROL;
        return nullptr;
    }
    return c->chart.get();
}

int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max) {
    int err = 0;
    Chart* ch = AnyChart(panel, control, err);
    if (!ch) return err;
    QValueAxis* a = axis == Axis::XBottom ? ch->ax : ch->ay;
    bool& autoFlag = axis == Axis::XBottom ? ch->autoX : ch->autoY;
    if (mode == AxisScaling::AutoScale) {
        autoFlag = true;
        AutoScale(*ch);
        return 0;
    }
    if (!(min < max) || !std::isfinite(min) || !std::isfinite(max)) return UIE_BAD_VALUE;
    autoFlag = false;
    a->setRange(min, max);
    return 0;
}

int GetAxisRange(int panel, int control, Axis axis, double& min, double& max) {
    int err = 0;
    Chart* ch = AnyChart(panel, control, err);
    if (!ch) return err;
    QValueAxis* a = axis == Axis::XBottom ? ch->ax : ch->ay;
    min = a->min();
    max = a->max();
    return 0;
}

int SetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int value) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::StripChart);
    if (!ch) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    if (attribute != TraceAttr::Color) return UIE_BAD_ATTRIBUTE;
    Trace& t = ch->traces[trace - 1];
    t.colour = value & 0xFFFFFF;
    QPen pen = t.series->pen();
    pen.setColor(Rgb(t.colour));
    t.series->setPen(pen);
    return 0;
}

int GetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int& value) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::StripChart);
    if (!ch) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    if (attribute != TraceAttr::Color) return UIE_BAD_ATTRIBUTE;
    value = ch->traces[trace - 1].colour;
    return 0;
}

int PlotStripChart(int panel, int control, const double* data, int count, int start, int skip) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::StripChart);
    if (!ch) return err;
    if (!data || count < 0 || start < 0 || skip < 0) return UIE_BAD_VALUE;
    const int T = static_cast<int>(ch->traces.size());
    const int points = count / T;
    if (points == 0) return 0;
    const int stride = T + skip;
    // Only the last pps points of this call can still be seen.
    const int first = std::max(0, points - ch->pps);
    for (int t = 0; t < T; ++t) {
        Trace& tr = ch->traces[t];
        const int add = points - first;
        const int keep = std::min(static_cast<int>(tr.hist.size()), ch->pps - add);
        if (keep < static_cast<int>(tr.hist.size())) tr.hist.erase(tr.hist.begin(), tr.hist.end() - keep);
        for (int k = first; k < points; ++k) tr.hist.push_back(data[start + static_cast<long>(k) * stride + t]);
    }
    ScheduleStrip(*ch);
    return 0;
}

int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::StripChart);
    if (!ch) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    points = ch->traces[trace - 1].hist;
    return 0;
}

int ClearStripChart(int panel, int control) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::StripChart);
    if (!ch) return err;
    for (Trace& t : ch->traces) t.hist.clear();
    ScheduleStrip(*ch);
    return 0;
}

int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, int n, PlotStyle style, int colour) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    if (!x || !y || n < 0) return UIE_BAD_VALUE;
    Plot p;
    p.series = new QLineSeries;
    p.info.style = style;
    p.info.colour = colour & 0xFFFFFF;
    QList<QPointF> pts;
    pts.reserve(n);
    for (int i = 0; i < n; ++i) {
        pts.append(QPointF(x[i], y[i]));
        p.info.x.push_back(x[i]);
        p.info.y.push_back(y[i]);
    }
    QPen pen(Rgb(p.info.colour));
    pen.setWidth(style == PlotStyle::FatLine ? 3 : 1);
    if (style == PlotStyle::DashedLine) pen.setStyle(Qt::DashLine);
    p.series->setPen(pen);
    p.series->replace(pts);
    ch->chart->addSeries(p.series);
    p.series->attachAxis(ch->ax);
    p.series->attachAxis(ch->ay);
    const int handle = ch->nextPlot++;
    ch->plots[handle] = std::move(p);
    AutoScale(*ch);
    RaiseCursor(*ch);
    return handle;
}

int DeleteGraphPlot(int panel, int control, int plot, bool drawNow) {
    (void)drawNow; // the chart repaints on its own schedule either way
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    if (plot == -1) {
        for (auto& [h, p] : ch->plots) {
            ch->chart->removeSeries(p.series);
            delete p.series;
        }
        ch->plots.clear();
        return 0;
    }
    auto it = ch->plots.find(plot);
    if (it == ch->plots.end()) return UIE_BAD_VALUE;
    ch->chart->removeSeries(it->second.series);
    delete it->second.series;
    ch->plots.erase(it);
    return 0;
}

int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    plots.clear();
    for (auto& [h, p] : ch->plots) plots.push_back(p.info);
    return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    ch->cx = x;
    ch->cy = y;
    ch->cursorPlaced = true;
    UpdateCursor(*ch);
    return 0;
}

int GetGraphCursor(int panel, int control, int cursor, double& x, double& y) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    x = ch->cx;
    y = ch->cy;
    return 0;
}

int SetCursorAttribute(int panel, int control, int cursor, CursorAttr attribute, int value) {
    int err = 0;
    Chart* ch = FindChart(panel, control, err, CtrlKind::XYGraph);
    if (!ch) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    if (attribute == CursorAttr::Color)
        ch->cursorColour = value & 0xFFFFFF;
    else
        ch->cursorStyle = value ? 1 : 0;
    UpdateCursor(*ch);
    return 0;
}

// ---- Pictures and controls made at run time -------------------------------------------------

int DisplayImageFile(int panel, int control, const char* path) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (c->kind != CtrlKind::Picture) return UIE_BAD_CONTROL;
    if (!path || !*path) return UIE_FILE_ERROR;
    QString file = QString::fromUtf8(path);
    // A bare name is looked for where it is given, then beside the program.
    if (QFileInfo(file).isRelative() && !QFileInfo::exists(file))
        file = QCoreApplication::applicationDirPath() + "/" + file;
    QPixmap pm;
    if (!pm.load(file)) return UIE_FILE_ERROR; // the picture stays as it was
    auto* l = static_cast<QLabel*>(c->w);
    l->setPixmap(pm);
    c->box->resize(pm.size());
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
    Ctrl* c = MakeCtrl(p, s, Window(p));
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

// ---- Callbacks and automation ----------------------------------------------------------------

int CallCtrlCallback(int panel, int control, int event, int eventData1, int eventData2) {
    if (!FindCtrl(panel, control)) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    return Deliver(panel, control, event, eventData1, eventData2);
}

int CallPanelCallback(int panel, int event, int eventData1, int eventData2) {
    if (!FindPanel(panel)) return UIE_BAD_PANEL;
    return DeliverPanel(panel, event, eventData1, eventData2);
}

int OperateCtrl(int panel, int control) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (c->kind == CtrlKind::CommandButton) {
        Deliver(panel, control, EVENT_LEFT_CLICK);
        Deliver(panel, control, EVENT_COMMIT);
        return 0;
    }
    if (IsButton(c->kind)) { // a click flips it
        long long v = 0;
        GetInt(*c, v);
        return OperateCtrl(panel, control, v ? 0 : 1);
    }
    Deliver(panel, control, EVENT_COMMIT);
    return 0;
}

int OperateCtrl(int panel, int control, int newValue) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    switch (c->kind) {
    case CtrlKind::Numeric:
    case CtrlKind::Ring:
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: {
        int changed = SetInt(*c, newValue);
        if (changed > 0) Deliver(panel, control, EVENT_VAL_CHANGED);
        Deliver(panel, control, EVENT_COMMIT);
        return 0;
    }
    case CtrlKind::CommandButton: return OperateCtrl(panel, control);
    default: return UIE_BAD_CONTROL;
    }
}

int ClosePanelWindow(int panel) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    QCloseEvent e;
    QCoreApplication::sendEvent(Window(p), &e);
    return 0;
}

int SavePanelImage(int panel, const char* path) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!path) return UIE_FILE_ERROR;
    QWidget* w = Window(p);
    RunRefresh(); // the image shows the newest values
    if (w->layout()) w->layout()->activate();
    return w->grab().save(QString::fromUtf8(path), "PNG") ? 0 : UIE_FILE_ERROR;
}

// ---- Panel builder -------------------------------------------------------------------------

QWidget* AddCtrl(int panel, const CtrlSpec& form) {
    Panel* p = FindPanel(panel);
    if (!p || form.id <= 0 || p->ctrls.count(form.id)) return nullptr;
    return MakeCtrl(p, form, Window(p))->box;
}

QWidget* PanelWidget(int panel) {
    Panel* p = FindPanel(panel);
    return p ? Window(p) : nullptr;
}

void SetPanelTitle(int panel, const char* title) {
    Panel* p = FindPanel(panel);
    if (p) Window(p)->setWindowTitle(QString::fromUtf8(title ? title : ""));
}

// ---- Inspection ------------------------------------------------------------------------------

bool GetCtrlInfo(int panel, int control, CtrlKind& kind, std::string& name, CtrlCallbackPtr& callback) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return false;
    kind = c->kind;
    name = c->name;
    callback = c->cb;
    return true;
}

std::vector<int> GetPanelCtrls(int panel) {
    Panel* p = FindPanel(panel);
    return p ? p->order : std::vector<int>{};
}

std::string GetPanelTitle(int panel) {
    Panel* p = FindPanel(panel);
    return p ? Window(p)->windowTitle().toStdString() : std::string{};
}

