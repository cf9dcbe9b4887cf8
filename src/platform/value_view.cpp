// SPDX-License-Identifier: GPL-3.0-or-later
// A numeric display that draws its number from a kept text layout.
#include "platform/value_view.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

QString NumberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<long long>(v));
    return QString::number(v, 'g', 10);
}

ValueView::ValueView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // paints every pixel: nothing behind it repaints
    setFocusPolicy(Qt::NoFocus);
    text_.setTextFormat(Qt::PlainText);
    text_.setText(NumberText(0));
    text_.prepare(QTransform(), font());
    textSize_ = text_.size();
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
    if (t == text_.text()) return;
    text_.setText(t);
    text_.prepare(QTransform(), font());
    textSize_ = text_.size();
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

void ValueView::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) {
        text_.prepare(QTransform(), font());
        textSize_ = text_.size();
    }
    QWidget::changeEvent(e);
}

void ValueView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette::ColorGroup g = isEnabled() ? QPalette::Active : QPalette::Disabled;
    p.fillRect(rect().adjusted(1, 1, -1, -1), palette().color(g, QPalette::Base));
    p.setPen(palette().color(g, QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(g, QPalette::Text));
    p.drawStaticText(QPointF(width() - 6 - textSize_.width(), (height() - textSize_.height()) / 2.0), text_);
}
