// SPDX-License-Identifier: GPL-3.0-or-later
// Device link: request / answer frames, order codes, the serial port with its receive path
// and line check, and the exchanges whose answers are not frames.
#pragma once

#include <cstdint>

#include "panel/status.h"

inline constexpr int PNUM = 16;                 // data words per frame
inline constexpr int FRAME_LEN = PNUM * 2 + 4;  // 36 bytes: every request and frame answer
inline constexpr double TIMEOUT = 1.5;          // answer wait, seconds
inline constexpr int eventMask = 0x8006;        // receive notification events
inline constexpr int FIRMWARE_LEN = 72;         // firmware text answer
inline constexpr int DATA64_LEN = 128;          // data-block answer: 64 words

enum : int {
    ORD_WRITE_RAM = 1,
    ORD_READ_RAM = 2,
    ORD_WRITE_EEPROM = 3,
    ORD_READ_EEPROM = 4,
    ORD_ECHO = 5,
    ORD_TEACH = 6,
    ORD_VERSION = 7,
    ORD_LIVE = 8,
    ORD_DATA64 = 9,
    ORD_RESET = 10,
    ORD_REFRESH = 11,
    ORD_INFOBLOCK = 20,
};

extern int com;          // open port number
// 0x55: opens every request, event character of the notification. In a namespace of its own:
// <unistd.h>, which the standard headers pull in, declares a function sync().
namespace com232 {
extern int sync;
}
extern int order;        // order code of the request being built
extern int rx_flag;      // an answer frame was taken in since the last request
extern int graphrefresh; // new live values wait to be plotted
extern int nBytesW, nBytesR;
extern double tstart, tdiff; // shared by every waiting loop
extern char szStatus[68];    // outcome of the last exchange
extern char szWriteBuf[1024];
extern char szReadBuf[1024];
extern uint16_t pp[PNUM]; // parameter block: data words of requests and answers

// Data view curves and x values (entries 0..127 used).
extern uint16_t xArray[256];
extern uint16_t yArrayA[256];
extern uint16_t yArrayB[256];

// Frames.
void FillTxBuf(int code, const uint16_t* words);
void GetRxBuf(int count);

// Port, receive path and line check.
// Opens port at the line's settings with the receive notification; an OpenComConfig result.
int OpenLine(int port);
void RX_Receive_Function(int port, int events, void* data);
int WaitRxFull();
// The echo exchange on port; the request carries the words in pp (the caller's set 0).
int CheckComLine(int port);
// Status text of an OpenComConfig result.
const char* ComErrorText(int code);

// Firmware text, data block, info block.
extern char szFirmware[68]; // the open port's controller's, as last read ("" before)
int GetVERSIONInfo();
int ReadData64(int start, int kind, int code);
int SendInfoBlockToFlash(int first, int second);

// One exchange at a time. While a hold lives, the controls that start exchanges are held
// off (and Stop too, unless the exchange is the live loop or a recording, which Stop ends).
extern int exchange_busy;
struct ExchangeHold {
    explicit ExchangeHold(bool stoppable = false);
    ~ExchangeHold();
    ExchangeHold(const ExchangeHold&) = delete;
    ExchangeHold& operator=(const ExchangeHold&) = delete;
};
bool ExchangeBusy();
bool StopHeld();
// Writes the request in szWriteBuf; its answer is awaited for at most limit seconds. A
// write that fails leaves the line as it was.
int WriteRequest(int port, double limit);
// One request was answered (or never will be).
void AnswerTaken();
// Pumps events until every request was answered or given up.
void WaitLineFree();

// The one way a request goes out. SendRequest takes the request's words, waits until the line
// is free (the answer it waits for lands in pp), empties both queues, clears rx_flag, builds
// the request of code in szWriteBuf and writes it to port; its answer is due within limit
// seconds from tstart. Returns the bytes written (FRAME_LEN when whole), also in nBytesW.
int SendRequest(int port, int code, const uint16_t* words, double limit);
// The second of two frames that belong together: written at once, no wait and no flush.
int WriteFrame(int port, int code, const uint16_t* words, double limit);
enum class Awaited { Taken, Timeout, Stopped };
// Pumps events until the receive path has taken an answer (with word 0 equal to word0 when
// word0 is not negative), until limit seconds have passed since tstart, or until *stop is
// raised. An answer that came in the last pass is taken even past the limit.
Awaited AwaitFrame(double limit, int word0 = -1, const int* stop = nullptr);
// Sleeps on the line until count bytes wait and no further byte followed within a short quiet
// time, or until limit seconds have passed since tstart (then timeoutText goes to szStatus
// when fewer than count came); returns the bytes waiting. For answers that are not frames.
int AwaitBytes(int count, double limit, const char* timeoutText);
// The 36-byte answer in szReadBuf carries the controller's echo word 0x00AA.
bool EchoWordOk();
// Runs action now, or when the exchange under way has ended (the last one wins).
void WhenNoExchange(void (*action)());
// An action waits for the exchange under way: the exchange should end without more requests.
bool ExchangeEnding();
// A parameter write's answer, when the controller gives one, takes 36 bytes at 19200 baud
// 8N1 (18.75 ms); the rest is room for the controller storing the set first and for a USB
// adapter's latency (up to 16 ms per burst).
inline constexpr double kWriteAnswerWait = 0.25;

// The device of the port is awaited: the status line says so.
void ShowLineLost();
// While the device of the port is awaited, the end of an exchange says so (after its own text).
void ShowLineLostAfterExchange();
