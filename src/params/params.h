// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter set: the 19 parameter variables, their block layout in pp, the panel binding,
// the transfer targets with the parameter file, and the teach / reset / refresh commands.
#pragma once

#include <cstdint>
#include "runtime/files.h"

extern uint16_t powerA, powerB, refA, refB, tolA, tolB, hysteresis, polarity, hold, hwmode, average,
    evalmode, triglvlA, triglvlB, trigmode, sdelay, outmode, anamode, maxmode;
extern uint16_t ref10Bit, tol10Bit; // idle band of the normalised chart

inline constexpr int RAM = 1, EEPROM = 2, DATFILE = 3;
extern int target;
extern char file_name[MAX_PATHNAME_LEN];

// Where each parameter variable sits: set, word, name, channel ('A', 'B', 0 for common).
struct ParamWord {
    uint16_t set;
    int word;
    const char* name;
    char channel;
    uint16_t* var;
};
inline constexpr int kParamCount = 19;
extern const ParamWord kParamWords[kParamCount];

// Block and GET exchange.
void CopyVarsToPP(uint16_t set);
void CopyPPtoVars(uint16_t set);
// 1 when the controller's answer for that set came in and was taken.
int PushGET(int from, uint16_t set);
// Teach, reset or refresh (code) with set 0 of the variables; once the controller answers,
// set 0 is fetched from its RAM. 1 when it was.
int SendCommand(int code, bool teach);

// Panel binding.
void GetPanelValues();
void SetPanelValues();
// Shows the sets whose fetch succeeded; a failed set leaves its controls as they are.
void ShowFetchedSets(int got0, int got1);
// Status text after fetching both sets.
const char* FetchFailureText(int got0, int got1);
const char* TrigModeText(unsigned mode);
const char* EvalModeText(unsigned mode);
const char* AnaModeText(unsigned mode);
const char* OutModeText(unsigned mode);
int CC_BINSWpower(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_TOGBTNparaII(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_DropTrigmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_DROP_EvalMode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Transfer targets and parameter file.
int CC_RBTRam(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTEeprom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTFile(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNSend(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNGet(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The target radio buttons show target.
void ShowTarget();
void SendParaToFile();
// 1 when both sets were loaded from the chosen file.
int ReadParaFromFile();
// The parameter file of both sets: written whole (a temporary file, then renamed over path)
// from the variables, or read whole into them. kFile_Ok or a kFile_ error, nothing changed.
int WriteParaFile(const char* path);
int ReadParaFile(const char* path);
const char* FileErrorReason(int code);

// Teach, reset, refresh.
int CC_ButtonTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_ButtonReset(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_ButtonRefresh(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
