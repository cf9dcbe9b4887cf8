// SPDX-License-Identifier: GPL-3.0-or-later
// RS-232 run-time over Qt SerialPort: ports by number, settings, reads, writes, receive notice.
//
// Ports are numbered from 1: port n is the n-th entry of the device paths in
// ZEP4_SERIAL_PORTS (separated by ':'), then come the system's serial ports, in order of
// device name as first seen; a device keeps its number for the whole run, and one that
// appears later takes the next free number.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Negative results of OpenComConfig and the other calls.
enum : int {
    kRS_InvalidPortNum = -2,
    kRS_PortNotOpen = -3,
    kRS_UnknownIOError = -4,
    kRS_NoPortFound = -6,
    kRS_CannotOpenPort = -7,
    kRS_InvalidParameter = -13,
};

// Receive-notification events.
enum : int {
    LWRS_RXFLAG = 0x0002,  // the event character was received
    LWRS_RECEIVE = 0x8000, // at least the notify count of bytes waits in the input queue
};

using ComCallbackPtr = void (*)(int port, int eventMask, void* callbackData);

// parity 0 = none. Returns 0 on success or one of the negative codes above.
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
// Read and write time-out in seconds for ComRd and ComWrt.
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode);
// Installs the receive notification: called on the user-interface thread, only from the
// event processing (RunUserInterface / ProcessSystemEvents), never during Delay, ComRd or
// GetInQLen, once per notifyCount bytes waiting. Mask 0 or no callback switches it off.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void* callbackData);
int FlushInQ(int port);
int FlushOutQ(int port);
// Queues and pushes out count bytes; returns the count written or a negative error.
int ComWrt(int port, const char* buffer, int count);
// Reads until count bytes are in or the port time-out passes; returns the count read
// (fewer after a time-out) or a negative error.
int ComRd(int port, char* buffer, int count);
// Bytes waiting in the input queue (pulls in what the system already holds).
int GetInQLen(int port);
// Waits, without processing events, until at least count bytes wait in the input queue or the
// time on Timer()'s clock reaches deadline; returns the bytes waiting then (as GetInQLen) or a
// negative error. Sleeps on the line meanwhile.
int WaitInQLen(int port, int count, double deadline);
int CloseCom(int port);

// When an open port's device goes away, the port is closed at once and its device is awaited:
// the same path, or the same USB serial number where the system gives one, looked for once a
// second. lost(port) is then called from the event loop; back(number) when the device is there
// again (number: the port it is now), and it answers whether it opened it (0: ask again at the
// next look). Taking it back, or closing the awaited port (as choosing another port does
// first), ends the waiting. Nothing is awaited before the handlers are set.
using ComReplugPtr = int (*)(int port);
void SetComReplug(ComReplugPtr lost, ComReplugPtr back);
// The port whose device is awaited, 0 for none.
int ComAwaited();

// How the program waits for the receive notification's bytes now: whether Qt watches the line
// for input, and in how many ms the program looks again while it does not (-1: no look due).
struct ComWatch {
    bool watched;
    int recheckMs;
};
int GetComWatch(int port, ComWatch* watch);

struct SerialPortEntry {
    int number;              // 1-based port number
    std::string device;      // e.g. /dev/ttyUSB0 or /dev/pts/5
    std::string description; // e.g. "USB-Serial Controller", "ZEP4_SERIAL_PORTS", "not present"
};
// Every port known in this run, in order of number: ZEP4_SERIAL_PORTS entries whether their
// device exists or not, and every system port seen so far, present or gone. Asks the system
// for its ports on each call (Qt gives no notice of serial devices coming and going on Linux).
std::vector<SerialPortEntry> ListSerialPorts();
// The same, with the system's ports (device, description) given rather than asked for: lets a
// test bring devices and take them away.
std::vector<SerialPortEntry> NumberSerialPorts(const std::vector<std::pair<std::string, std::string>>& system);
