// SPDX-License-Identifier: GPL-3.0-or-later
// The serial line through Qt alone: off Linux, or on Linux built with ZEP4_PORTABLE_ONLY.
#include "runtime/os_line.h"

#include <QFileInfo>
#include <QSerialPort>

#if !defined(Q_OS_LINUX) || defined(ZEP4_PORTABLE_ONLY)

// Without VMIN the event loop wakes for each byte as it comes: more wake-ups, same answers.
void LineOpened(QSerialPort&, const QString& device, LineWake& w) {
    w.device = device;
    w.deviceIsFile = QFileInfo::exists(device);
}

void LineSetMin(QSerialPort&, LineWake& w, int want) { w.applied = want; }

// A device that is a file (a pty, a USB adapter on Unix-like systems) goes away with its
// line; where ports are not files, Qt's own report of a vanished resource is all there is.
bool LineHungUp(QSerialPort& sp, const LineWake& w) {
    if (!sp.isOpen()) return true;
    return w.deviceIsFile ? !QFileInfo::exists(w.device) : sp.error() == QSerialPort::ResourceError;
}

qint64 LineQueued(QSerialPort&) { return 0; }
bool LineWatch(LineWake&, bool) { return false; }

#endif
