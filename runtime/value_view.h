// SPDX-License-Identifier: GPL-3.0-or-later
// A numeric display: one number, right-aligned in a white box.
//
// Live values set every display 25 times a second; it draws only when its number changes, and
// then character by character from glyphs laid out once per font, so a new number costs no
// text layout.
#pragma once

#include <QPixmap>
#include <QProgressBar>
#include <QString>
#include <QWidget>

#include <map>

class QLabel;

class ValueView : public QWidget {
public:
    explicit ValueView(QWidget* parent = nullptr);

    // The number to show at the next refresh pass; returns whether one must be planned.
    bool setPending(double value);
    // Shows the pending number now.
    void showPending();
    QString text() const { return text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    double shown_ = 0, pending_ = 0;
    bool queued_ = false;
    QString text_;
};

// How a number is written on a display: whole numbers without a fraction.
QString NumberText(double v);

// A progress bar that takes a new value at the refresh pass, or when it is shown: QProgressBar
// works out its style's geometry and its text's width on every change, and a recording changes
// it with every sample, often while its panel is hidden.
class ProgressView : public QProgressBar {
public:
    // The value to show, within the range; returns whether a refresh pass must be planned.
    bool setPending(int value);
    int pending() const { return pending_; }
    // Shows the pending value now.
    void showPending();

protected:
    void showEvent(QShowEvent* e) override;

private:
    int pending_ = 0;
    bool queued_ = false;
};

// An input lamp: a round light that takes its look (a style sheet) at the refresh pass. Each
// look is drawn once, through a label styled with it, over what lies behind the lamp, and kept:
// a change of look then paints one small picture, and nothing behind the lamp repaints with it.
// Restyling the lamp itself made the style recompute, the lamp repaint on its own and the group
// box behind it repaint too, with every change, and live inputs may change with every answer.
class LedView : public QWidget {
public:
    explicit LedView(QWidget* parent = nullptr);
    // The look to show at the next refresh pass; returns whether one must be planned.
    bool setPending(const QString& css);
    // Shows the pending look now.
    void showPending();
    QString shownStyle() const { return shown_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    QString shown_, pending_;
    bool queued_ = false;
    // The looks drawn so far over the backdrop, and where the backdrop was taken.
    std::map<QString, QPixmap> drawn_;
    QPoint drawnAt_;
    QSize drawnIn_;
};
