// Recorder: the recording loop with the record file, and the recorder settings.
#pragma once

#include <cstdint>
#include "platform/files.h"

extern char recfile_name[MAX_PATHNAME_LEN];
extern int ret; // result of the last record-file chooser

int CC_BTNStartRecord(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNStopRecord(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

void CalcRecTime();
int CC_NEDITRecTime(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITRecSamples(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RecordFileNameBtn(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
