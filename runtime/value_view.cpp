// SPDX-License-Identifier: GPL-3.0-or-later
// A numeric display that draws its number from glyphs laid out once per font.
#include "runtime/value_view.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace {

// The characters of a font that numbers are written with, each laid out once.
struct Glyphs {
    QFont font;
    std::array<QStaticText, 128> text;
    std::array<qreal, 128> advance{};
    qreal height = 0;
};

const Glyphs& GlyphsOf(const QFont& font) {
    static std::vector<std::unique_ptr<Glyphs>> fonts;
    for (const auto& g : fonts)
        if (g->font == font) return *g;
    auto g = std::make_unique<Glyphs>();
    g->font = font;
    const QFontMetricsF fm(font);
    for (int c = 32; c < 127; ++c) {
        const QChar ch(c);
        g->text[c].setTextFormat(Qt::PlainText);
        g->text[c].setText(QString(ch));
        g->text[c].prepare(QTransform(), font);
        g->advance[c] = fm.horizontalAdvance(ch);
    }
    g->height = g->text['0'].size().height();
    fonts.push_back(std::move(g));
    return *fonts.back();
}

bool Printable(const QString& t) {
    for (QChar c : t)
        if (c.unicode() < 32 || c.unicode() >= 127) return false;
    return true;
}

} // namespace

QString NumberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<long long>(v));
    return QString::number(v, 'g', 10);
}

ValueView::ValueView(QWidget* parent) : QWidget(parent), text_(NumberText(0)) {
    setAttribute(Qt::WA_OpaquePaintEvent); // paints every pixel: nothing behind it repaints
    setFocusPolicy(Qt::NoFocus);
}

bool ValueView::setPending(double value) {
    pending_ = value;
    if (queued_ || (value == shown_ && !std::isnan(value))) return false;
    queued_ = true;
    return true;
}

void ValueView::showPending() {
    queued_ = false;
    const QString t = NumberText(pending_);
    shown_ = pending_;
    if (t == text_) return;
    text_ = t;
    setAccessibleDescription(t); // what a screen reader reads as the display's value
    update();
}

QSize ValueView::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QLatin1String("0000000")) + 12, fm.height() + 8};
}

QSize ValueView::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QLatin1String("00000")) + 12, fm.height() + 8};
}

void ValueView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette::ColorGroup g = isEnabled() ? QPalette::Active : QPalette::Disabled;
    p.fillRect(rect().adjusted(1, 1, -1, -1), palette().color(g, QPalette::Base));
    p.setPen(palette().color(g, QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(g, QPalette::Text));
    const Glyphs& glyphs = GlyphsOf(font());
    if (!Printable(text_)) { // never a number's text; kept whole all the same
        p.drawText(rect().adjusted(6, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, text_);
        return;
    }
    qreal x = width() - 6;
    for (QChar c : text_) x -= glyphs.advance[c.unicode()];
    const qreal y = (height() - glyphs.height) / 2.0;
    for (QChar c : text_) {
        p.drawStaticText(QPointF(x, y), glyphs.text[c.unicode()]);
        x += glyphs.advance[c.unicode()];
    }
}

bool ProgressView::setPending(int value) {
    pending_ = std::clamp(value, minimum(), maximum());
    if (queued_ || !isVisible()) return false; // shown, it takes the value itself
    queued_ = true;
    return true;
}

void ProgressView::showPending() {
    queued_ = false;
    setValue(std::clamp(pending_, minimum(), maximum()));
}

void ProgressView::showEvent(QShowEvent* e) {
    showPending();
    QProgressBar::showEvent(e);
}

LedView::LedView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // paints what lies behind it too
    setFocusPolicy(Qt::NoFocus);
}

bool LedView::setPending(const QString& css) {
    pending_ = css;
    if (queued_) return false;
    if (css == shown_) return false;
    queued_ = true;
    return true;
}

void LedView::showPending() {
    queued_ = false;
    if (pending_ == shown_) return;
    shown_ = pending_;
    update();
}

void LedView::changeEvent(QEvent* e) {
    // What lies behind may look different now.
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::EnabledChange || e->type() == QEvent::StyleChange)
        drawn_.clear();
    QWidget::changeEvent(e);
}

void LedView::paintEvent(QPaintEvent*) {
    const QPoint at = mapTo(window(), QPoint());
    if (at != drawnAt_ || window()->size() != drawnIn_ || (!drawn_.empty() && drawn_.begin()->second.size() != size() * devicePixelRatioF()))
        drawn_.clear();
    QPixmap& pm = drawn_[shown_];
    if (pm.isNull()) {
        drawnAt_ = at;
        drawnIn_ = window()->size();
        pm = QPixmap(size() * devicePixelRatioF());
        pm.setDevicePixelRatio(devicePixelRatioF());
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        // What lies behind: each widget above the lamp, without its children, as Qt paints them.
        std::vector<QWidget*> behind;
        for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) behind.push_back(w);
        for (auto it = behind.rbegin(); it != behind.rend(); ++it) {
            QWidget* w = *it;
            const QRegion here(QRect(mapTo(w, QPoint()), size()));
            w->render(&p, QPoint(), here, w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
        }
        // One hidden label per look, styled once, paints the lamp as the lamp's own label did.
        static std::map<QString, std::unique_ptr<QLabel>> looks;
        auto& look = looks[shown_];
        if (!look) {
            look = std::make_unique<QLabel>();
            look->setStyleSheet(shown_);
        }
        look->resize(size());
        look->render(&p, QPoint(), QRegion(), QWidget::RenderFlags());
    }
    QPainter(this).drawPixmap(0, 0, pm);
}
