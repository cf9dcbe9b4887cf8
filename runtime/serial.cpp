// SPDX-License-Identifier: GPL-3.0-or-later
// RS-232 run-time over QSerialPort.
//
// QSerialPort reads the line inside the event loop and announces data with readyRead; its
// waitFor... calls read the line too and emit readyRead synchronously. The receive
// notification must never run inside ComRd, ComWrt or GetInQLen (it would take the bytes a
// direct read is waiting for), so those calls raise a guard; a notification the guard held
// back is re-checked through a queued call once the direct call is over.
//
// While a receive notification is installed, the line's VMIN is raised to the bytes it still
// needs where the system has one (os_line.h), so an answer that trickles in at the line rate
// wakes the event loop once instead of once per byte; direct calls that wait for input put
// VMIN back first, so a short answer is still seen at its time-out. VMIN only keeps the wake-ups
// in the kernel: a thread polling the line is still scheduled for every byte. So once bytes
// flow, the line is not watched at all until the last few can be due at the line rate.
#include "runtime/serial.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

#include "runtime/os_line.h"
#include "runtime/timing.h"

namespace {

struct Port {
    QSerialPort* sp = nullptr; // owned; deleted with deleteLater (it may be mid-signal)
    unsigned generation;       // tells a queued re-check which opening it was meant for
    double timeout = 2.0;      // ComRd / ComWrt time-out, seconds
    int mask;                  // the receive notification: none while callback is null
    int notify;
    int eventChar{};
    ComCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    bool direct = false;       // a direct read / write / count is running (they never nest)
    bool swallowed = false;    // readyRead came while direct was set
    bool delivering = false;   // the notification loop is running
    bool dead = false;         // the device went away; closed at the next chance
    bool eventCharSeen = false;
    LineWake wake;             // the wake-up threshold, and what tells a hang-up
    double byteSeconds = 0;    // one character's time on the line
    qint64 lastSeen = 0;       // bytes waiting (read or not) when last looked at
    QPointer<QSocketNotifier> writer; // Qt's watch on the line for room to write, once made
    QTimer* recheck = nullptr; // while it runs, Qt does not watch the line; owned by sp. Each
                               // look restarts or stops it
    std::string device;        // what to wait for if the device goes away: its path ...
    QString serialNumber;      // ... or its USB serial number, where the system gives one
};

std::map<int, Port>& ports() {
    static std::map<int, Port> p;
    return p;
}

unsigned NextGeneration() {
    static unsigned g; // the first opening is 1: a port never opened has 0
    return ++g;
}

// Context object for queued calls: lives as long as the process.
QObject* QueueContext() {
    static QObject* ctx = new QObject;
    return ctx;
}

Port* OpenPort(int port) {
    auto it = ports().find(port);
    if (it == ports().end() || !it->second.sp) return nullptr;
    return &it->second;
}

// The port while it is still the opening a queued call or a signal was meant for.
Port* PortOf(int port, unsigned generation) {
    Port* p = OpenPort(port);
    return p && p->generation == generation ? p : nullptr;
}

// Sets the line's VMIN, VTIME 0; want 0 is how Qt opens the port (raw, VMIN and VTIME 0).
void ApplyMin(Port& p, int want) {
    if (p.wake.applied != want) LineSetMin(*p.sp, p.wake, want);
}

// Qt stops watching only a line that failed, and such a line is either closed soon or read
// on at once: watching it again is always right.
void Watch(Port& p) {
    p.recheck->stop();
    LineWatch(p.wake, true);
}

// Bytes still to come when the line is watched again: the kernel wakes the thread for each
// of them, and the last may come a little early.
constexpr int kWatchedBytes = 2;

// VMIN for the event loop: what the notification still lacks beyond the bytes Qt already
// holds. Never more, or a notification would wait on bytes that are already in. An empty line
// wakes at its first byte; while bytes keep coming, the line goes unwatched until the last
// kWatchedBytes of the count can be due. Never runs inside a direct call: those calls fit it
// on leaving.
void FitMin(Port& p) {
    if (!p.wake.canRaise) return;
    int want = 0, ms = 0;
    if (p.callback) { // a callback always comes with a mask
        const qint64 held = p.sp->bytesAvailable();
        // Already due: the delivery is on its way and will fit VMIN again once it has run.
        if (held >= p.notify) return Watch(p);
        const qint64 waiting = held + LineQueued(*p.sp);
        if (waiting > 0) want = static_cast<int>(std::min<qint64>(p.notify - held, 255));
        if (waiting > p.lastSeen) // still coming: wake when the last few can be in
            ms = static_cast<int>((p.notify - waiting - kWatchedBytes) * p.byteSeconds * 1000.0);
        p.lastSeen = waiting;
    }
    ApplyMin(p, want);
    // A look a millisecond ahead costs a wake-up of its own to spare the kernel's for a few bytes
    // (in a FIFO's pieces, one): watch the line instead.
    if (ms > 1 && LineWatch(p.wake, false)) {
        p.recheck->start(ms);
    } else {
        Watch(p);
    }
}

// Direct calls that wait for input see every byte at once again.
void LowerMin(Port& p) { ApplyMin(p, 0); }

void DropDevice(Port& p) {
    QSerialPort* sp = p.sp;
    p.sp = nullptr;
    p.recheck->stop(); // it repeats, and the port may wait long for its deletion (a nested pump)
    sp->close(); // signals still queued find no port of their generation
    // The port may be inside one of its own signals; let Qt delete it when it is safe.
    if (QCoreApplication::instance())
        sp->deleteLater();
    else
        delete sp;
}

// A hung-up line reports read errors again and again; only a hang-up closes the port.
bool PortHungUp(const Port& p) { return LineHungUp(*p.sp, p.wake); }

void AwaitDevice(int port, const Port& p);

// Closes a port whose device vanished, from our own code (never from inside a Qt signal).
bool ReapIfDead(int port) {
    Port* p = OpenPort(port);
    if (!p) return true;
    if (p->dead) {
        // Inside the notification we are inside the port's readyRead: Deliver() reaps it later.
        if (!p->delivering) {
            AwaitDevice(port, *p);
            DropDevice(*p);
        }
        return true;
    }
    return false;
}

void Deliver(int port, unsigned generation);

// Qt takes up reading the line again when a read finds its buffer empty (a dead line only
// reports its error again; a direct call never lets queued calls in).
void ResumeReading(int port, unsigned generation) {
    Port* p = PortOf(port, generation);
    if (!p || p->sp->bytesAvailable() > 0) return;
    char c;
    p->sp->read(&c, sizeof c);
}

void ScheduleDelivery(int port, unsigned generation) {
    QMetaObject::invokeMethod(
        QueueContext(), [port, generation] { Deliver(port, generation); }, Qt::QueuedConnection);
}

// Calls the receive notification once per notify bytes waiting, while it keeps taking them.
void Deliver(int port, unsigned generation) {
    Port* p = PortOf(port, generation);
    if (!p || p->delivering) return;
    if (p->direct) {
        p->swallowed = true;
        return;
    }
    p->delivering = true;
    while (!p->dead && p->callback && p->notify > 0) {
        const qint64 waiting = p->sp->bytesAvailable();
        if (waiting < p->notify) break;
        int events = 0;
        if (p->mask & LWRS_RECEIVE) events |= LWRS_RECEIVE;
        if ((p->mask & LWRS_RXFLAG) && p->eventCharSeen) events |= LWRS_RXFLAG;
        p->eventCharSeen = false;
        if (!events) break;
        p->callback(port, events, p->callbackData);
        p = PortOf(port, generation);
        // A callback that leaves the bytes where they are gets no second call for them.
        if (!p || p->sp->bytesAvailable() >= waiting) break;
    }
    p = PortOf(port, generation);
    if (!p) return;
    p->delivering = false;
    FitMin(*p);
    // Only scheduled: we may be inside the port's own readyRead.
    if (p->dead) QMetaObject::invokeMethod(QueueContext(), [port] { ReapIfDead(port); }, Qt::QueuedConnection);
}

// Raises the guard for a direct call; on leaving, hands a held-back notification on.
class DirectCall {
public:
    explicit DirectCall(int port) : port_(port) {
        if (Port* p = OpenPort(port_)) {
            p->direct = true;
            generation_ = p->generation;
        }
    }
    ~DirectCall() {
        Port* p = PortOf(port_, generation_);
        if (!p) return;
        p->direct = false;
        if (p->dead) return; // closed by the caller through ReapIfDead
        if (p->swallowed) {
            p->swallowed = false;
            if (p->sp->bytesAvailable() >= p->notify) ScheduleDelivery(port_, generation_); // it checks the rest itself
        }
        if (!p->delivering) FitMin(*p);
    }
    DirectCall(const DirectCall&) = delete;
    DirectCall& operator=(const DirectCall&) = delete;

private:
    int port_;
    unsigned generation_{};
};

int RemainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

// The device of a port that went away, looked for once a second until it is taken back or the
// port is closed. Nothing is looked for while a port is open.
struct Awaited {
    int port = 0; // 0: nothing awaited
    std::string device;
    QString serialNumber;
    QTimer* look = nullptr;
    bool inBack = false; // the back handler runs (it may pump events)
};
Awaited& AwaitedDevice() {
    static Awaited a;
    return a;
}
ComReplugPtr onLost, onBack;

void EndWaiting() {
    Awaited& a = AwaitedDevice();
    a.port = 0;
    if (a.look) a.look->stop();
}

// The number under which the awaited device is there now (0: not there): its path, or a port
// of the same serial number.
int AwaitedNumber() {
    const Awaited& a = AwaitedDevice();
    std::string dev;
    if (QFileInfo::exists(QString::fromStdString(a.device))) dev = a.device;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (!dev.empty()) break;
        if (info.systemLocation().toStdString() == a.device ||
            (!a.serialNumber.isEmpty() && info.serialNumber() == a.serialNumber))
            dev = info.systemLocation().toStdString();
    }
    if (dev.empty()) return 0;
    for (const SerialPortEntry& e : ListSerialPorts())
        if (e.device == dev) return e.number;
    return 0;
}

void LookForDevice() {
    Awaited& a = AwaitedDevice();
    if (!a.port || a.inBack) return;
    const int number = AwaitedNumber();
    if (!number) return;
    const Awaited before = a;
    a.inBack = true;
    const bool opened = onBack(number); // a failed open may have ended the waiting: not so
    a = before;
    if (opened)
        EndWaiting();
    else if (!a.look->isActive())
        a.look->start();
}

void AwaitDevice(int port, const Port& p) {
    if (!onBack || !QCoreApplication::instance()) return;
    Awaited& a = AwaitedDevice();
    a.port = port;
    a.device = p.device;
    a.serialNumber = p.serialNumber;
    if (!a.look) {
        a.look = new QTimer(QueueContext());
        a.look->setInterval(1000);
        QObject::connect(a.look, &QTimer::timeout, QueueContext(), LookForDevice);
    }
    a.look->start();
    // Told from the event loop: we may be inside a direct call of the caller's exchange.
    QMetaObject::invokeMethod(
        QueueContext(), [port] {
            if (onLost && AwaitedDevice().port == port) onLost(port);
        },
        Qt::QueuedConnection);
}

std::vector<std::string> EnvPorts() {
    std::vector<std::string> out;
    for (const QByteArray& dev : qgetenv("ZEP4_SERIAL_PORTS").split(':'))
        if (!dev.isEmpty()) out.push_back(dev.toStdString());
    return out;
}

} // namespace

std::vector<SerialPortEntry> NumberSerialPorts(const std::vector<std::pair<std::string, std::string>>& system) {
    // The system's ports seen so far in this run, by device. A device keeps its number, gone or
    // not, so an open port's number never changes under the user and a device plugged in again
    // comes back under its old number.
    struct Seen {
        int number;
        std::string description;
        bool present;
    };
    static std::map<std::string, Seen> seen;
    static int last; // the highest number given out

    const std::vector<std::string> env = EnvPorts();
    const int fixed = static_cast<int>(env.size());
    std::vector<SerialPortEntry> list;
    for (const std::string& dev : env) {
        const bool there = QFileInfo::exists(QString::fromStdString(dev));
        list.push_back({static_cast<int>(list.size()) + 1, dev,
                        there ? "ZEP4_SERIAL_PORTS" : "ZEP4_SERIAL_PORTS, not present"});
    }
    auto inEnv = [&](const std::string& dev) { return std::find(env.begin(), env.end(), dev) != env.end(); };

    for (auto& [dev, port] : seen) port.present = false;
    auto now = system;
    std::sort(now.begin(), now.end()); // new devices are numbered in order of name
    last = std::max(last, fixed);
    for (const auto& [dev, description] : now) {
        if (inEnv(dev)) continue;
        const auto [it, fresh] = seen.try_emplace(dev);
        if (fresh) it->second.number = ++last;
        it->second.description = description;
        it->second.present = true;
    }
    for (auto& [dev, port] : seen) {
        // ZEP4_SERIAL_PORTS numbers first: only a list changed under a running program (tests
        // do that) can reach a number given out before.
        if (port.number <= fixed) port.number = ++last;
        if (!inEnv(dev)) list.push_back({port.number, dev, port.present ? port.description : "not present"});
    }
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return list;
}

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<std::pair<std::string, std::string>> system;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        system.emplace_back(info.systemLocation().toStdString(), info.description().toStdString());
    return NumberSerialPorts(system);
}

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize) {
    (void)deviceName; // the port number alone picks the device
    if (baudRate <= 0 || baudRate > 4000000 || parity < 0 || parity > 4 || dataBits < 5 || dataBits > 8 ||
        (stopBits != 1 && stopBits != 2) || inputQueueSize < 0 || outputQueueSize < 0)
        return kRS_InvalidParameter;
    if (port < 1) return kRS_InvalidPortNum;
    const auto list = ListSerialPorts();
    if (list.empty()) return kRS_NoPortFound;
    const auto entry = std::find_if(list.begin(), list.end(), [port](const auto& e) { return e.number == port; });
    if (entry == list.end()) return kRS_InvalidPortNum;

    CloseCom(port);

    auto* sp = new QSerialPort;
    sp->setPortName(QString::fromStdString(entry->device));
    sp->setBaudRate(static_cast<qint32>(baudRate));
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    sp->setParity(parities[parity]);
    sp->setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    sp->setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    if (!sp->open(QIODevice::ReadWrite)) {
        delete sp;
        return kRS_CannotOpenPort;
    }

    Port& p = ports()[port];
    p = Port{};
    p.sp = sp;
    p.device = entry->device;
    p.serialNumber = QSerialPortInfo(*sp).serialNumber();
    p.generation = NextGeneration();
    const unsigned gen = p.generation;
    LineOpened(*sp, QString::fromStdString(entry->device), p.wake);
    p.byteSeconds = (2.0 + dataBits + (parity ? 1 : 0) + (stopBits - 1)) / static_cast<double>(baudRate);
    p.recheck = new QTimer(sp);
    p.recheck->setTimerType(Qt::PreciseTimer);
    // Direct calls never let it in; inside a delivery it looks early, and the delivery looks
    // again when it is over.
    QObject::connect(p.recheck, &QTimer::timeout, QueueContext(), [port, gen] {
        if (Port* q = PortOf(port, gen)) FitMin(*q);
    });

    QObject::connect(sp, &QSerialPort::readyRead, QueueContext(), [port, gen] {
        Port* q = PortOf(port, gen);
        if (!q) return;
        if (q->mask & LWRS_RXFLAG) {
            const QByteArray peek = q->sp->peek(q->sp->bytesAvailable());
            if (peek.contains(static_cast<char>(q->eventChar))) q->eventCharSeen = true;
        }
        Deliver(port, gen);
    });
    QObject::connect(sp, &QSerialPort::errorOccurred, QueueContext(), [port, gen](QSerialPort::SerialPortError e) {
        Port* q = PortOf(port, gen);
        if (!q || q->dead) return;
        if (PortHungUp(*q)) {
            q->dead = true;
            // Closing from inside the port's own signal is unsafe: do it at the next chance.
            QMetaObject::invokeMethod(QueueContext(), [port] { ReapIfDead(port); }, Qt::QueuedConnection);
        } else if (e == QSerialPort::ResourceError) {
            // A read that found nothing (the queue was flushed between the readiness report
            // and the read): Qt calls that a resource error and stops reading. The line is
            // fine; read on. Other errors on a line still up are Qt's to report again.
            q->sp->clearError();
            QMetaObject::invokeMethod(QueueContext(), [port, gen] { ResumeReading(port, gen); }, Qt::QueuedConnection);
        }
    });
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    if (timeoutSeconds < 0) return kRS_InvalidParameter;
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    p->timeout = timeoutSeconds;
    return 0;
}

int SetCTSMode(int port, int mode) {
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    // A pty has no modem lines: the call may fail there, which changes nothing for us.
    // Qt reads the line's termios afresh and changes only the flow control: VMIN stays.
    p->sp->setFlowControl(mode ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    return 0;
}

int InstallComCallback(int port, int mask, int notifyCount, int eventCharacter, ComCallbackPtr callback,
                       void* callbackData) {
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    if (mask == 0 || !callback) {
        p->callback = nullptr;
        p->callbackData = nullptr;
        FitMin(*p);
        return 0;
    }
    if (notifyCount < 0 || notifyCount > 1 << 20) return kRS_InvalidParameter;
    p->mask = mask;
    p->notify = notifyCount;
    p->eventChar = eventCharacter & 0xFF;
    p->callback = callback;
    p->callbackData = callbackData;
    if (p->sp->bytesAvailable() >= p->notify) ScheduleDelivery(port, p->generation); // a count of 0 is never delivered
    FitMin(*p);
    return 0;
}

int FlushInQ(int port) {
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    p->sp->clear(QSerialPort::Input);
    p->eventCharSeen = false;
    FitMin(*p);
    return 0;
}

int FlushOutQ(int port) {
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    p->sp->clear(QSerialPort::Output);
    return 0;
}

int ComWrt(int port, const char* buffer, int count) {
    if (count < 0 || (count > 0 && !buffer)) return kRS_InvalidParameter;
    if (ReapIfDead(port)) return kRS_PortNotOpen;
    Port* p = OpenPort(port);
    DirectCall guard(port);
    const QDeadlineTimer deadline(static_cast<qint64>(p->timeout * 1000.0));
    const qint64 queued = p->sp->write(buffer, count);
    if (queued < 0) return kRS_UnknownIOError; // only a port that is not open refuses
    // Nothing here closes the port; a hang-up only marks it dead.
    while (p->sp->bytesToWrite() && !p->dead && !deadline.hasExpired())
        p->sp->waitForBytesWritten(RemainingMs(deadline));
    const qint64 left = p->dead ? queued : p->sp->bytesToWrite();
    // All out: Qt would leave its write watch on until the event loop finds room once more, a
    // pass of the loop per request for nothing. The next write switches it on again.
    if (!left && !p->writer) p->writer = LineNotifier(*p->sp, QSocketNotifier::Write);
    if (!left && p->writer) p->writer->setEnabled(false);
    ReapIfDead(port);
    return static_cast<int>(queued - std::min(queued, left));
}

int ComRd(int port, char* buffer, int count) {
    if (count < 0 || (count > 0 && !buffer)) return kRS_InvalidParameter;
    if (ReapIfDead(port)) return kRS_PortNotOpen;
    DirectCall guard(port);
    Port* p = OpenPort(port);
    const QDeadlineTimer deadline(static_cast<qint64>(p->timeout * 1000.0));
    int got = 0;
    while (!p->dead) { // nothing here closes the port; a hang-up only marks it dead
        const qint64 n = p->sp->read(buffer + got, count - got);
        got += static_cast<int>(std::max<qint64>(n, 0));
        if (got >= count || deadline.hasExpired()) break;
        LowerMin(*p);
        // A hang-up the port did not report makes the wait return at once: give up.
        if (!p->sp->waitForReadyRead(RemainingMs(deadline)) && PortHungUp(*p))
            p->dead = true;
    }
    ReapIfDead(port);
    return got;
}

namespace {
int WaitingBytes(int port) {
    DirectCall guard(port);
    Port* p = OpenPort(port);
    LowerMin(*p);
    p->sp->waitForReadyRead(0);
    return static_cast<int>(std::min<qint64>(p->sp->bytesAvailable(), std::numeric_limits<int>::max()));
}
} // namespace

int GetInQLen(int port) {
    if (ReapIfDead(port)) return kRS_PortNotOpen;
    const int n = WaitingBytes(port);
    // A line that hung up meanwhile is reported, whatever it counted.
    return ReapIfDead(port) ? kRS_PortNotOpen : n;
}

int WaitInQLen(int port, int count, double deadline) {
    if (ReapIfDead(port)) return kRS_PortNotOpen;
    {
        DirectCall guard(port);
        Port* p = OpenPort(port);
        for (;;) {
            const qint64 held = p->sp->bytesAvailable();
            const int ms = static_cast<int>(std::ceil((deadline - Timer()) * 1000.0));
            if (held >= count || ms <= 0 || p->dead) break;
            // The line wakes us once the missing bytes are all in, not once per byte.
            ApplyMin(*p, p->wake.canRaise ? static_cast<int>(std::min<qint64>(count - held, 255)) : 0);
            if (p->sp->waitForReadyRead(ms)) continue;
            if (PortHungUp(*p)) p->dead = true;
            else if (deadline - Timer() > 0.002) Delay(0.001); // a line error: look again, not at once
        }
    }
    // What came short of the count before the deadline is counted too.
    return GetInQLen(port);
}

int GetComWatch(int port, ComWatch* watch) {
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    *watch = {!p->wake.reader || p->wake.reader->isEnabled(), p->recheck->isActive() ? p->recheck->interval() : -1};
    return 0;
}

// The port's entry stays, without a device, until the number is opened again.
int CloseCom(int port) {
    if (AwaitedDevice().port == port) EndWaiting();
    Port* p = OpenPort(port);
    if (!p) return kRS_PortNotOpen;
    DropDevice(*p);
    return 0;
}

void SetComReplug(ComReplugPtr lost, ComReplugPtr back) {
    onLost = lost;
    onBack = back;
}

int ComAwaited() { return AwaitedDevice().port; }
