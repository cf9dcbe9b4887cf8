// SPDX-License-Identifier: GPL-3.0-or-later
// Live view: the live loop and the live value set, the strip charts with their histories
// and band arithmetic, and the scope view of the data blocks.
#pragma once

#include <cstdint>

extern int stop_flag; // 1 while no live run or recording is active
extern int type;      // live chart kind: 0 raw, 1 normalised

// Live value set: the 16 words of a live answer.
extern int32_t valNORMA, valNORMB;
extern uint16_t adcCHA, adcCHB, Amax, Bmax, MAXvalA, MAXvalB, MINvalA, MINvalB, tolval, btnval, inputs,
    valDIFF, indexA, indexB;

// Band of the normalised views.
extern int32_t upTHR, loTHR, valNORM;
extern uint16_t valREF;

// Chart histories, interleaved point by point; point 99 is the newest.
extern double arrayRAW[200];
extern double arrayNORM[600];
extern uint16_t upArray[256], loArray[256], refArray[256];

// Colours (24-bit RGB).
enum : int {
    VAL_RED = 0xFF0000,
    VAL_GREEN = 0x00FF00,
    VAL_BLUE = 0x0000FF,
    VAL_DK_GREEN = 0x008000,
    VAL_DK_GRAY = 0x404040,
    VAL_CYAN = 0x00FFFF,
    VAL_BLACK = 0x000000,
};

// Live loop.
// Run and a recording start alike: a Stop (or a close) from here on ends them, even while they
// wait for the line. False when one came; else the scope view gives way to the charts and Run
// and Data are dimmed.
bool LiveMayStart();
// Writes a live request carrying set 0, its answer due within limit seconds.
int SendLiveRequest(double limit);
enum class LiveEnd { Stopped, Silent, Consumer };
// The live cycles of Run and of a recording, after the first request went out: each answer is
// plotted (on the raw chart when rawChart() says so, else on the band chart), then handed to
// onAnswer, which may end the cycles by returning false; then the next request goes out. Ends
// also when stop_flag is raised, or when no answer came within limit seconds ("Timeout
// RS232-Line!", and stop_flag raised).
LiveEnd LiveCycles(double limit, bool (*rawChart)(), bool (*onAnswer)());
int CC_BTNRun(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNStop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void FillarrayRAW(int a, int b);
void FillarrayNORM(int tolerance, int reference, int marker);
void DecodeLiveAnswer();
// The live value set by name, in the order of the answer's words.
struct LiveWord {
    const char* name;
    int32_t* wide;  // the normalised values, or
    uint16_t* word; // the others
};
extern const LiveWord kLiveWords[16];
uint32_t LiveValue(const LiveWord& w);

// Strip charts.
// The graph source chosen on the main panel: 0 raw, 1 normalised, 2 channel A's band, 3 B's.
int GraphSource();
int CC_RNGGraphSource(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void ApplyGraphSource();
void PlotRAWValues();
void PlotNORMValues(double* history);
int Shift(const double* input, int n, int k, double* output);
int Copy1D(const double* input, int n, double* output);

// "Save picture…" of a chart or the scope view: the file chooser, then the picture with the
// time and the firmware text in it.
void SaveChartPicture(int panel, int control);

// Scope view.
int CC_BTNData(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void PlotDATACurve(const uint16_t* curveA, const uint16_t* curveB, const uint16_t* upper,
                   const uint16_t* lower, const uint16_t* reference);
