// SPDX-License-Identifier: GPL-3.0-or-later
// Files: program directory, paths, deletion, and the array writer and reader.
//
// The parameter file and the record file are written and read with the array calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

constexpr int MAX_PATHNAME_LEN = 260;

// Copies src into a fixed text buffer, cut to fit, always zero-terminated.
template <std::size_t N>
inline void CopyText(char (&dst)[N], const char* src) {
    std::size_t n = 0;
    if (src)
        while (n + 1 < N && src[n] != '\0') ++n;
    std::memcpy(dst, src ? src : "", n);
    dst[n] = '\0';
}

// The program's own directory (of the running executable).
int GetProjectDir(char (&dir)[MAX_PATHNAME_LEN]);
// Joins a directory and a file name with the platform's separator.
int MakePathname(const char* dir, const char* file, char (&path)[MAX_PATHNAME_LEN]);
// 0 when deleted, -1 when the file did not exist, other negatives on failure.
int CVI_DeleteFile(const char* path);

// Results of the array writer and reader.
enum : int {
    kFile_Ok = 0,
    kFile_CannotOpen = -1,
    kFile_WriteFailed = -2,
    kFile_TooFewValues = -3,
    kFile_BadToken = -4,
    kFile_ValueTooLarge = -5,
};
enum class FileAction { Truncate, Append };
// Writes bytes as they are (no line end). The file is opened, written and closed by the call.
int ArrayToFile(const char* path, const char* bytes, int count, FileAction action);
// Writes count unsigned values in ASCII, perRow values per line separated by separator,
// each right-aligned in width characters when width > 0, every line ended by "\n".
// The file is opened, written and closed by the call, so what it wrote is with the system
// when it returns.
int ArrayToFile(const char* path, const uint32_t* values, int count, int perRow, char separator,
                int width, FileAction action);
// Reads the first count unsigned decimal numbers of a text file, separated by any white
// space. Each must fit in maxValue. Returns kFile_Ok, or an error with values untouched.
int FileToArray(const char* path, uint32_t* values, int count, uint32_t maxValue);
