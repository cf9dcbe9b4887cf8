// SPDX-License-Identifier: GPL-3.0-or-later
// The record file: a header line naming the interval, then one line of four values per sample,
// and the whole-second ticks of its interval.
#include <algorithm>
#include <cmath>
#include <string>

#include "live/live.h"
#include "runtime/files.h"
#include "recorder/recorder.h"

std::string RecHeaderLine(uint16_t interval) {
    return "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: " + std::to_string(interval) + "\n";
}

std::string RecSampleLine(const std::string& extra) {
    std::string line;
    // The normalised values are words widened on decoding: their low 16 bits are the word.
    for (uint32_t v : {uint32_t{static_cast<uint16_t>(valNORMA)}, uint32_t{static_cast<uint16_t>(valNORMB)},
                       uint32_t{adcCHA}, uint32_t{adcCHB}})
        line += (line.empty() ? "" : "\t") + std::to_string(v);
    if (!extra.empty()) line += "\t" + extra;
    return line + "\n";
}

// Truncating (not appending) keeps the new file clean even if the old one could not be deleted.
bool WriteRecHeader(const char* path, uint16_t interval) {
    const std::string header = RecHeaderLine(interval);
    return ArrayToFile(path, header.data(), static_cast<int>(header.size()), FileAction::Truncate) == kFile_Ok;
}

// One write per line: a kill or an unplug leaves every line before it whole.
bool WriteRecSample(const char* path, const std::string& extra) {
    const std::string line = RecSampleLine(extra);
    return ArrayToFile(path, line.data(), static_cast<int>(line.size()), FileAction::Append) == kFile_Ok;
}

uint16_t RecTickMark(double now) {
    now = std::max(0.0, now); // the clock never reads negative; NaN too gives 0
    return static_cast<uint16_t>(static_cast<uint64_t>(std::fmod(std::floor(now), 65536.0)));
}

uint16_t RecElapsedSeconds(double now, uint16_t tickMark) {
    return static_cast<uint16_t>(RecTickMark(now) - tickMark);
}
