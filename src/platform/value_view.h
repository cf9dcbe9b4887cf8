// SPDX-License-Identifier: GPL-3.0-or-later
// A numeric display: one number, right-aligned in a white box.
//
// Live values set every display 25 times a second; it draws only when its number changes, and
// then character by character from glyphs laid out once per font, so a new number costs no
// text layout.
#pragma once

#include <QString>
#include <QWidget>

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
