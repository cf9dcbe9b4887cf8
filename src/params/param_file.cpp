// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter file: both sets, 32 lines of one value each, written and read whole.
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "link/com232.h"
#include "params/params.h"
#include "platform/files.h"

namespace {

constexpr int kFileValues = 2 * PNUM; // both sets, one value per line
constexpr int kFileField = 5;         // 65535 fits

} // namespace

const char* FileErrorReason(int code) {
    switch (code) {
    case kFile_CannotOpen: return "cannot open the file";
    case kFile_WriteFailed: return "write failed";
    case kFile_TooFewValues: return "fewer than 32 values";
    case kFile_BadToken: return "a value is not an unsigned number";
    case kFile_ValueTooLarge: return "a value is above 65535";
    default: return "unknown error";
    }
}

// A write cut short (full disk, a kill) leaves the old file, never half a new one.
int WriteParaFile(const char* path) {
    if (!path || !*path) return kFile_CannotOpen;
    uint32_t values[kFileValues];
    CopyVarsToPP(0);
    std::copy(pp, pp + PNUM, values);
    CopyVarsToPP(1);
    std::copy(pp, pp + PNUM, values + PNUM);
    const std::string part = std::string(path) + ".part";
    int rc = ArrayToFile(part.c_str(), values, kFileValues, 1, ' ', kFileField, FileAction::Truncate);
    std::error_code ec;
    if (rc == kFile_Ok) {
        std::filesystem::rename(part, path, ec);
        if (ec) rc = kFile_WriteFailed;
    }
    if (rc != kFile_Ok) std::filesystem::remove(part, ec);
    return rc;
}

// Either all 32 values load or none.
int ReadParaFile(const char* path) {
    uint32_t values[kFileValues];
    const int rc = FileToArray(path, values, kFileValues, 65535);
    if (rc != kFile_Ok) return rc;
    std::copy(values, values + PNUM, pp); // each value fits: the reader held them to 65535
    CopyPPtoVars(0);
    std::copy(values + PNUM, values + 2 * PNUM, pp);
    CopyPPtoVars(1);
    return kFile_Ok;
}
