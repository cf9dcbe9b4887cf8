// SPDX-License-Identifier: GPL-3.0-or-later
// Recorder: the recording loop with the record file, and the recorder settings.
#pragma once

#include <cstdint>
#include <string>
#include "runtime/files.h"

extern char recfile_name[MAX_PATHNAME_LEN];
extern int ret; // result of the last record-file chooser

int CC_BTNStartRecord(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNStopRecord(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

void CalcRecTime();
int CC_NEDITRecTime(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITRecSamples(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RecordFileNameBtn(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Whole-second tick arithmetic of the sampling loop. Seconds are 16-bit and wrap at 65536;
// the elapsed count stays right across the wrap.
uint16_t RecTickMark(double now);                           // whole seconds of a reading, mod 65536
uint16_t RecElapsedSeconds(double now, uint16_t tickMark);  // whole seconds since the tick mark
// True while a recording runs, and while it writes to path.
bool RecordingActive();
bool RecordingWritesTo(const char* path);

// The record file. The header line ends in the interval; a sample line holds valNORMA,
// valNORMB, adcCHA and adcCHB (and extra as a fifth column when given). Each Write is one
// write of its whole line: the header's replaces the file, a sample's is appended.
std::string RecHeaderLine(uint16_t interval);
std::string RecSampleLine(const std::string& extra = {});
bool WriteRecHeader(const char* path, uint16_t interval);
bool WriteRecSample(const char* path, const std::string& extra = {});
