// SPDX-License-Identifier: GPL-3.0-or-later
// zep4ctl: the controller from the command line. line.cpp holds every exchange with the
// controller; commands.cpp the commands; main.cpp the options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ctl {

// Both parameter sets as words: w[set][word].
struct Sets {
    uint16_t w[2][16] = {};
};

// line.cpp. One port at a time; the exchanges report their outcome through Status().
int Open(int port);                 // 0, or a negative serial error
const char* OpenErrorText(int code);
bool CheckLine();
bool ReadFirmware(std::string& text);
bool Fetch(bool eeprom, int set);   // into the parameter variables
bool Write(bool eeprom);            // both sets from the parameter variables
bool Command(int code);             // sends set 0 with the order, then fetches set 0
bool LiveAnswer(double limit);      // one live request; its answer is the live value set
bool DataBlocks(int kind, uint16_t (&samples)[256]);
std::string Status();
void Close();
Sets VarsToSets();
void SetsToVars(const Sets& s);
int OrderCode(const std::string& command); // teach, reset, refresh; 0 for others

// commands.cpp
struct Options {
    std::string command;
    std::vector<std::string> args; // positional arguments after the command
    int port = 1;
    bool all = false, eeprom = false, check = false, timestamps = false;
    std::string output;            // -o
    long count = 0;                // live: 0 runs until stopped
    bool json = false;             // live --format json
    long samples = -1, interval = -1;
    int kind = 0;                  // data: 0 raw, 1 normalised
};
int Run(const Options& o);

} // namespace ctl
