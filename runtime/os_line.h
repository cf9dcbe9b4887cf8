// SPDX-License-Identifier: GPL-3.0-or-later
// The only operating-system calls: a serial line's wake-up threshold and its hang-up test.
//
// On Linux the line's VMIN wakes the program once per answer instead of once per byte, and a
// poll tells a hung-up line from a read that found nothing. Elsewhere, or built with
// ZEP4_PORTABLE_ONLY, Qt alone serves.
#pragma once

#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>

struct LineWake {
    bool canRaise = false;             // VMIN may be raised on this line
    int applied = -1;                  // the VMIN last set, -1 unknown
    QString device;                    // the device path, for telling a hang-up without a poll
    bool deviceIsFile = false;
    QPointer<QSocketNotifier> reader;  // Qt's watch on the line for input, where it can be had
};

// Qt's watch on the line for input or for room to write: a notifier it makes a child of the
// port (the write one at the first write). Null if Qt ever makes them otherwise.
inline QSocketNotifier* LineNotifier(QSerialPort& sp, QSocketNotifier::Type type) {
    for (QSocketNotifier* n : sp.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly))
        if (n->type() == type) return n;
    return nullptr;
}

// Notes what a line that was just opened holds, and whether its VMIN may be raised.
void LineOpened(QSerialPort& sp, const QString& device, LineWake& w);
// Sets VMIN to want, VTIME 0; want 0 is how the line was opened.
void LineSetMin(QSerialPort& sp, LineWake& w, int want);
// Whether the line was hung up (its device went away).
bool LineHungUp(QSerialPort& sp, const LineWake& w);
// Bytes the system holds for the line that Qt has not read yet (0 where it cannot tell).
qint64 LineQueued(QSerialPort& sp);
// Stops (or resumes) Qt's watching of the line for input; false where that cannot be done.
bool LineWatch(LineWake& w, bool on);
