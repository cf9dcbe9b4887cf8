// SPDX-License-Identifier: GPL-3.0-or-later
// The strip chart's drawing: trace polylines over a kept frame of axes, grid and labels.
//
// The frame is drawn once per size or range, so a refresh paints only lines. Live values come
// 25 times a second; a general chart library lays out and paints much more than that needs.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QLineF>
#include <QString>
#include <QWidget>

#include <vector>

class StripView : public QWidget {
public:
    explicit StripView(QWidget* parent = nullptr);

    void setXRange(double min, double max);
    void setYRange(double min, double max);
    void setAxisTitle(Qt::Orientation axis, const QString& title);
    // Trace i (0-based) shows values[k] at x = k, in colour (24-bit RGB), two pixels wide.
    void setTraceCount(int n);
    void setTrace(int i, const std::vector<double>& values, int colour);
    // Repaints the plot area only; the frame stays as it is.
    void redrawLines();
    // What trace i shows now (empty when there is no such trace).
    std::vector<double> shown(int i) const;
    // Draws the whole chart as it stands, frame and lines, on any device (a picture file).
    void paintPicture(QPainter& p);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    struct Line {
        std::vector<double> values;
        int colour = 0;
    };
    void drawFrame();
    void paintFrame(QPainter& p, bool focusMark);
    QPointF toPixel(double x, double y) const;

    double x0_ = 0, x1_ = 100, y0_ = 0, y1_ = 100;
    QString xTitle_, yTitle_;
    std::vector<Line> lines_;
    QPixmap frame_;   // background, grid, axes and labels
    bool frameStale_ = true;
    QRect plot_;      // where the lines go
    std::vector<QLineF> segments_; // reused for each line
    std::vector<QRect> inked_;     // covers the lines of the last paint
    bool inkedValid_ = false;      // that paint was a refresh of the whole plot area
};
