// SPDX-License-Identifier: GPL-3.0-or-later
// Operating-system calls of the serial line on Linux: termios, the input count, poll.
// Elsewhere, or built with ZEP4_PORTABLE_ONLY, os_line_portable.cpp serves.
#include "runtime/os_line.h"

#include <QSerialPort>

#if defined(Q_OS_LINUX) && !defined(ZEP4_PORTABLE_ONLY)

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

// Linux n_tty polls readable only once VMIN bytes wait (VTIME 0), so an answer that trickles
// in at the line rate wakes the event loop once. Qt opens the port raw and non-blocking
// (VMIN and VTIME 0), so reads still return whatever is there.
// Were Qt ever to read the line otherwise than through its read notifier, none is found and the
// line is simply watched all the time.
void LineOpened(QSerialPort& sp, const QString&, LineWake& w) {
    w.canRaise = true;
    w.reader = LineNotifier(sp, QSocketNotifier::Read);
}

// Only a hung-up line refuses the call, and it is closed soon after: no second try.
void LineSetMin(QSerialPort& sp, LineWake& w, int want) {
    const int fd = static_cast<int>(sp.handle());
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return;
    tio.c_cc[VMIN] = static_cast<cc_t>(want);
    tio.c_cc[VTIME] = {};
    ::tcsetattr(fd, TCSANOW, &tio);
    w.applied = want;
}

// A hung-up line reports read errors again and again; only a hang-up closes the port.
// A poll that fails leaves no events: the line counts as up.
bool LineHungUp(QSerialPort& sp, const LineWake&) {
    pollfd pfd{.fd = static_cast<int>(sp.handle()), .events = POLLIN, .revents = {}};
    const timespec now{};
    ::ppoll(&pfd, 1, &now, nullptr);
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

qint64 LineQueued(QSerialPort& sp) {
    int n; // set by a call that succeeds
    return ::ioctl(static_cast<int>(sp.handle()), TIOCINQ, &n) == 0 ? n : 0;
}

bool LineWatch(LineWake& w, bool on) {
    if (!w.reader) return false;
    w.reader->setEnabled(on);
    return true;
}

#endif
