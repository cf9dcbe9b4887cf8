// SPDX-License-Identifier: GPL-3.0-or-later
// Device link: request / answer frames, order codes, the serial port with its receive path
// and line check, and the exchanges whose answers are not frames.
#pragma once

#include <cstdint>

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

// <unistd.h>, where the system has it, declares a function sync(), which C++20's standard
// headers pull in everywhere; a variable of the same name cannot live beside it. The name sync
// stands for the link's own variable from here on; the headers that use sync for something
// else come first.
#if __has_include(<unistd.h>)
#include <unistd.h>
#endif
#include <fstream>
#define sync zep4_sync

extern int com;          // open port number
extern int sync;         // 0x55: opens every request, event character of the notification
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
void FillTxBuf(int order, const uint16_t* words);
void GetRxBuf(int count);

// Port, receive path and line check.
void InitRS232(int port);
void RX_Receive_Function(int port, int events, void* data);
int WaitRxFull();
int CheckComLine(int port);
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
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
// Pumps events until every request was answered or given up; call it before pp is filled
// for the next request, since the answer lands in pp.
void WaitLineFree();
// Runs action now, or when the exchange under way has ended (the last one wins).
void WhenNoExchange(void (*action)());
// An action waits for the exchange under way: the exchange should end without more requests.
bool ExchangeEnding();
// A parameter write's answer, when the controller gives one, takes 36 bytes at 19200 baud
// 8N1 (18.75 ms); the rest is room for the controller storing the set first and for a USB
// adapter's latency (up to 16 ms per burst).
inline constexpr double kWriteAnswerWait = 0.25;

// While the device of the port is awaited, the end of an exchange says so (after its own text).
void ShowLineLostAfterExchange();

// Shows a text on the main panel's status line.
void ShowStatus(const char* text);
