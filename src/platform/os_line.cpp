// SPDX-License-Identifier: GPL-3.0-or-later
// Operating-system calls of the serial line: termios and poll on Linux, Qt alone elsewhere.
#include "platform/os_line.h"

#include <QFileInfo>
#include <QSerialPort>

#if defined(Q_OS_LINUX) && !defined(ZEP4_PORTABLE_ONLY)

#include <fcntl.h>
#include <poll.h>
#include <termios.h>

// Linux n_tty polls readable only once VMIN bytes wait (VTIME 0), so an answer that trickles
// in at the line rate wakes the event loop once. Qt opens the port non-blocking, so reads
// still return whatever is there.
void LineOpened(QSerialPort& sp, const QString&, LineWake& w) {
    const int fd = static_cast<int>(sp.handle());
    termios tio{};
    const int fl = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
    if (fl >= 0 && (fl & O_NONBLOCK) && ::tcgetattr(fd, &tio) == 0 && !(tio.c_lflag & ICANON)) {
        w.canRaise = true;
        w.openedMin = tio.c_cc[VMIN];
        w.openedTime = tio.c_cc[VTIME];
        w.applied = 0;
    }
}

void LineSetMin(QSerialPort& sp, LineWake& w, int want) {
    const int fd = static_cast<int>(sp.handle());
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) return;
    tio.c_cc[VMIN] = static_cast<cc_t>(want > 0 ? want : w.openedMin);
    tio.c_cc[VTIME] = static_cast<cc_t>(want > 0 ? 0 : w.openedTime);
    if (::tcsetattr(fd, TCSANOW, &tio) == 0) w.applied = want;
}

// A hung-up line reports read errors again and again; only a hang-up closes the port.
bool LineHungUp(QSerialPort& sp, const LineWake&) {
    const int fd = static_cast<int>(sp.handle());
    if (fd < 0) return true;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) return false;
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

#else

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

#endif
