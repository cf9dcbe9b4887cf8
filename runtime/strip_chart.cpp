// SPDX-License-Identifier: GPL-3.0-or-later
// The strip chart's drawing: a kept frame of axes and labels, and the trace polylines over it.
#include "runtime/strip_chart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTicks = 5;         // labelled values per axis, both ends included
constexpr int kLineWidth = 2;
constexpr int kInkRun = 8;        // segments per blanked rectangle
constexpr double kInkMargin = 3;  // past a segment's ends: half the pen, its square cap, rounding
const QColor kGrid(0xE0, 0xE0, 0xE0);
const QColor kAxis(0x40, 0x40, 0x40);

QColor Rgb(int c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

QString Label(double v) { return QString::number(std::llround(v)); }

} // namespace

StripView::StripView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted: nothing to clear first
    setMinimumSize(200, 120);
}

void StripView::setXRange(double min, double max) {
    if (min == x0_ && max == x1_) return;
    x0_ = min, x1_ = max, frameStale_ = true;
    update();
}

void StripView::setYRange(double min, double max) {
    if (min == y0_ && max == y1_) return;
    y0_ = min, y1_ = max, frameStale_ = true;
    update();
}

void StripView::setAxisTitle(Qt::Orientation axis, const QString& title) {
    QString& t = axis == Qt::Horizontal ? xTitle_ : yTitle_;
    if (t == title) return;
    t = title, frameStale_ = true;
    update();
}

void StripView::setTraceCount(int n) { lines_.resize(static_cast<size_t>(std::max(0, n))); }

void StripView::setTrace(int i, const std::vector<double>& values, int colour) {
    if (i < 0 || i >= static_cast<int>(lines_.size())) return;
    lines_[static_cast<size_t>(i)].values = values;
    lines_[static_cast<size_t>(i)].colour = colour;
}

std::vector<double> StripView::shown(int i) const {
    if (i < 0 || i >= static_cast<int>(lines_.size())) return {};
    return lines_[static_cast<size_t>(i)].values;
}

void StripView::redrawLines() { update(plot_.adjusted(1, 1, -1, -1)); }

void StripView::resizeEvent(QResizeEvent* e) {
    frameStale_ = true;
    QWidget::resizeEvent(e);
}

QPointF StripView::toPixel(double x, double y) const {
    const double w = x1_ > x0_ ? x1_ - x0_ : 1.0, h = y1_ > y0_ ? y1_ - y0_ : 1.0;
    // Far outside values are held where the raster engine still copes; the clip hides them.
    y = std::clamp(y, y0_ - 4 * h, y1_ + 4 * h);
    return {plot_.left() + (x - x0_) / w * (plot_.width() - 1), plot_.bottom() - (y - y0_) / h * (plot_.height() - 1)};
}

void StripView::drawFrame() {
    const qreal dpr = devicePixelRatioF();
    frame_ = QPixmap(size() * dpr);
    frame_.setDevicePixelRatio(dpr);
    QPainter p(&frame_);
    paintFrame(p, hasFocus());
    frameStale_ = false;
}

void StripView::paintFrame(QPainter& p, bool focusMark) {
    p.fillRect(rect(), Qt::white);
    const QFontMetrics fm = p.fontMetrics();
    const int labelW = std::max(fm.horizontalAdvance(Label(y0_)), fm.horizontalAdvance(Label(y1_)));
    const int left = 6 + (yTitle_.isEmpty() ? 0 : fm.height() + 4) + labelW + 6;
    const int bottom = 6 + fm.height() + (xTitle_.isEmpty() ? 0 : fm.height() + 4);
    plot_ = QRect(left, 8, std::max(10, width() - left - 12), std::max(10, height() - 8 - bottom));

    for (int i = 0; i < kTicks; ++i) {
        const double fx = x0_ + (x1_ - x0_) * i / (kTicks - 1), fy = y0_ + (y1_ - y0_) * i / (kTicks - 1);
        const QPointF px = toPixel(fx, y0_), py = toPixel(x0_, fy);
        p.setPen(kGrid);
        p.drawLine(QPointF(px.x(), plot_.top()), QPointF(px.x(), plot_.bottom()));
        p.drawLine(QPointF(plot_.left(), py.y()), QPointF(plot_.right(), py.y()));
        p.setPen(kAxis);
        const QString xl = Label(fx), yl = Label(fy);
        p.drawText(QPointF(px.x() - fm.horizontalAdvance(xl) / 2.0, plot_.bottom() + 4 + fm.ascent()), xl);
        p.drawText(QPointF(plot_.left() - 6 - fm.horizontalAdvance(yl), py.y() + fm.ascent() / 2.0 - 1), yl);
    }
    p.setPen(kAxis);
    p.drawRect(plot_.adjusted(0, 0, -1, -1));
    if (!xTitle_.isEmpty())
        p.drawText(QRect(plot_.left(), height() - fm.height() - 2, plot_.width(), fm.height()), Qt::AlignCenter,
                   xTitle_);
    if (!yTitle_.isEmpty()) {
        p.save();
        p.translate(4, plot_.center().y());
        p.rotate(-90);
        p.drawText(QRect(-plot_.height() / 2, 0, plot_.height(), fm.height()), Qt::AlignCenter, yTitle_);
        p.restore();
    }
    if (focusMark) { // the keyboard is here: the context-menu key offers the picture
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void StripView::focusInEvent(QFocusEvent* e) {
    frameStale_ = true;
    update();
    QWidget::focusInEvent(e);
}

void StripView::focusOutEvent(QFocusEvent* e) {
    frameStale_ = true;
    update();
    QWidget::focusOutEvent(e);
}

void StripView::paintPicture(QPainter& p) {
    const QRect kept = plot_; // the widget's own frame was laid out for the screen's fonts
    paintFrame(p, false);
    p.save();
    p.setClipRect(plot_.adjusted(1, 1, -1, -1));
    for (const Line& line : lines_) {
        QPolygonF points;
        for (size_t k = 0; k < line.values.size(); ++k) {
            const double v = line.values[k];
            points << toPixel(static_cast<double>(k), std::isfinite(v) ? v : y0_);
        }
        p.setPen(QPen(Rgb(line.colour), kLineWidth));
        p.drawPolyline(points);
    }
    p.restore();
    plot_ = kept;
}

void StripView::paintEvent(QPaintEvent* e) {
    if (frameStale_ || frame_.size() != size() * devicePixelRatioF()) drawFrame();
    QPainter p(this);
    const QRect inside = plot_.adjusted(1, 1, -1, -1);
    // Only a refresh of the whole plot area leaves every earlier line where `inked_` says.
    const bool refresh = e->rect() == inside;
    if (inside.contains(e->rect())) {
        // A refresh of the lines: blank what the last refresh drew, and the grid over it; the
        // plot area is large, and most of it stays white from one refresh to the next.
        if (inkedValid_ && refresh) {
            for (const QRect& r : inked_) p.fillRect(r, Qt::white);
        } else {
            p.fillRect(inside, Qt::white);
        }
        p.setPen(kGrid);
        for (int i = 1; i < kTicks - 1; ++i) {
            const QPointF g = toPixel(x0_ + (x1_ - x0_) * i / (kTicks - 1), y0_ + (y1_ - y0_) * i / (kTicks - 1));
            p.drawLine(QPointF(g.x(), inside.top()), QPointF(g.x(), inside.bottom()));
            p.drawLine(QPointF(inside.left(), g.y()), QPointF(inside.right(), g.y()));
        }
    } else {
        p.drawPixmap(0, 0, frame_);
    }
    p.setClipRect(inside);
    inked_.clear();
    // Each trace as separate segments: a wide polyline is stroked as one outline with joins and
    // filled as a whole, which costs several times as much. The square caps close the joints.
    for (const Line& line : lines_) {
        if (line.values.empty()) continue;
        segments_.clear();
        QPointF last;
        double top = 0, bottom = 0, left = 0; // the bounds of the points since the last rectangle
        for (size_t k = 0; k < line.values.size(); ++k) {
            const double v = line.values[k];
            const QPointF at = toPixel(static_cast<double>(k), std::isfinite(v) ? v : y0_);
            if (k > 0) segments_.emplace_back(last, at);
            top = k > 0 ? std::min(top, at.y()) : at.y(), bottom = k > 0 ? std::max(bottom, at.y()) : at.y();
            if (k == 0) left = at.x();
            if (k % kInkRun == kInkRun - 1 || k + 1 == line.values.size()) {
                const QRectF run(QPointF(left, top), QPointF(at.x(), bottom));
                inked_.push_back(run.adjusted(-kInkMargin, -kInkMargin, kInkMargin, kInkMargin).toAlignedRect() & inside);
                top = bottom = at.y(), left = at.x(); // the next run starts where this one ends
            }
            last = at;
        }
        p.setPen(QPen(Rgb(line.colour), kLineWidth));
        p.drawLines(segments_.data(), static_cast<int>(segments_.size()));
    }
    inkedValid_ = refresh;
}
