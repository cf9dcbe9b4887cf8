// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter file: both sets, 32 lines of one value each, written and read whole.
#include <algorithm>

#include "link/com232.h"
#include "params/params.h"
#include "runtime/files.h"

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

// A write cut short (full disk, a kill) leaves the old file: the writer replaces it whole.
int WriteParaFile(const char* path) {
    uint32_t values[kFileValues];
    CopyVarsToPP(0);
    std::copy(pp, pp + PNUM, values);
    CopyVarsToPP(1);
    std::copy(pp, pp + PNUM, values + PNUM);
    return ArrayToFile(path, values, kFileValues, 1, ' ', kFileField, FileAction::Truncate);
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
