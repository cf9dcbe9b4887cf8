// SPDX-License-Identifier: GPL-3.0-or-later
// Files over Qt Core: array writer and reader, deletion, paths, program directory.
#include "runtime/files.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One open / write / close: the bytes go to the system in one write. On an append that fails
// half way the file is cut back to where it was, so a reader never sees half a line.
int WriteBytes(const char* path, const char* bytes, std::size_t n, FileAction action) {
    if (!path || path[0] == '\0') return kFile_CannotOpen;
    const QString name = QFile::decodeName(path);
    const QFileInfo info(name);
    if (action == FileAction::Truncate && (info.isFile() || !info.exists())) {
        // Written beside the old file and renamed over it once whole: a failure leaves the
        // old file as it was. (A device or pipe, or a file in a folder that takes no new
        // file, is written in place.)
        QSaveFile f(name);
        f.setDirectWriteFallback(true);
        // Unbuffered, so a short write shows in the count (commit does not report it); the
        // file then goes unrenamed.
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return kFile_CannotOpen;
        if (f.write(bytes, static_cast<qint64>(n)) != static_cast<qint64>(n)) return kFile_WriteFailed;
        return f.commit() ? kFile_Ok : kFile_WriteFailed;
    }
    QFile f(name);
    const auto how = action == FileAction::Append ? QIODevice::Append : QIODevice::Truncate;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered | how)) return kFile_CannotOpen;
    const qint64 before = action == FileAction::Append ? f.size() : -1;
    bool ok = f.write(bytes, static_cast<qint64>(n)) == static_cast<qint64>(n);
    if (!ok && before >= 0) f.resize(before);
    f.close();
    return ok && f.error() == QFileDevice::NoError ? kFile_Ok : kFile_WriteFailed;
}

} // namespace

int GetProjectDir(char (&dir)[MAX_PATHNAME_LEN]) {
    const std::string path =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath().toStdString() : std::string();
    if (path.empty() || path.size() >= MAX_PATHNAME_LEN) {
        // An empty directory makes MakePathname give bare names (the working directory)
        // rather than a cut-off path that points somewhere else.
        dir[0] = '\0';
        return -1;
    }
    CopyText(dir, path.c_str());
    return 0;
}

int MakePathname(const char* dir, const char* file, char (&path)[MAX_PATHNAME_LEN]) {
    std::string d = dir ? dir : "";
    std::string f = file ? file : "";
    std::string joined;
    if (d.empty())
        joined = f;
    else if (d.back() == '/')
        joined = d + f;
    else
        joined = d + "/" + f;
    if (joined.size() >= MAX_PATHNAME_LEN) {
        path[0] = '\0';
        return -1;
    }
    CopyText(path, joined.c_str());
    return 0;
}

int CVI_DeleteFile(const char* path) {
    if (!path || path[0] == '\0') return -1;
    const QFileInfo info(QFile::decodeName(path));
    if (info.isDir() && !info.isSymLink()) return -3; // files only: a directory stays
    if (std::remove(path) == 0) return 0;
    switch (errno) {
    case ENOENT:
        return -1;
    case EACCES:
    case EPERM:
    case EROFS:
        return -6;
    default:
        return -3;
    }
}

int ArrayToFile(const char* path, const char* bytes, int count, FileAction action) {
    if (count < 0 || (count > 0 && !bytes)) return kFile_WriteFailed;
    return WriteBytes(path, bytes, static_cast<std::size_t>(count), action);
}

int ArrayToFile(const char* path, const uint32_t* values, int count, int perRow, char separator,
                int width, FileAction action) {
    if (count < 0 || (count > 0 && !values)) return kFile_WriteFailed;
    if (perRow <= 0) perRow = count > 0 ? count : 1;
    if (width < 0) width = 0;
    if (width > 32) width = 32;
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * (width > 11 ? width + 1 : 12));
    for (int i = 0; i < count; ++i) {
        std::string number = std::to_string(values[i]);
        if (static_cast<int>(number.size()) < width) text.append(width - number.size(), ' ');
        text += number;
        bool rowEnd = (i + 1) % perRow == 0 || i + 1 == count;
        text += rowEnd ? '\n' : separator;
    }
    return WriteBytes(path, text.data(), text.size(), action);
}

int FileToArray(const char* path, uint32_t* values, int count, uint32_t maxValue) {
    if (!path || path[0] == '\0' || count < 0 || (count > 0 && !values)) return kFile_CannotOpen;
    QFile f(QFile::decodeName(path));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return kFile_CannotOpen;

    std::vector<uint32_t> got;
    got.reserve(static_cast<std::size_t>(count));
    int error = kFile_Ok;
    // Token state: inToken, its value so far (saturated above maxValue), and whether it
    // holds anything but digits.
    bool inToken = false, bad = false;
    uint64_t acc = 0;
    const uint64_t ceiling = static_cast<uint64_t>(maxValue) + 1;
    auto finishToken = [&] {
        if (bad)
            error = kFile_BadToken;
        else if (acc > maxValue)
            error = kFile_ValueTooLarge;
        else
            got.push_back(static_cast<uint32_t>(acc));
        inToken = bad = false;
        acc = 0;
    };

    char buf[4096];
    while (error == kFile_Ok && static_cast<int>(got.size()) < count) {
        const qint64 n = f.read(buf, sizeof buf);
        if (n < 0) {
            error = kFile_CannotOpen;
            break;
        }
        if (n == 0) {
            if (inToken) finishToken();
            break;
        }
        for (qint64 i = 0; i < n && error == kFile_Ok && static_cast<int>(got.size()) < count; ++i) {
            unsigned char c = static_cast<unsigned char>(buf[i]);
            if (IsSpace(c)) {
                if (inToken) finishToken();
                continue;
            }
            inToken = true;
            if (c >= '0' && c <= '9') {
                if (acc < ceiling) acc = acc * 10 + (c - '0');
                if (acc > ceiling) acc = ceiling;
            } else {
                bad = true;
            }
        }
    }
    f.close();
    if (error != kFile_Ok) return error;
    if (static_cast<int>(got.size()) < count) return kFile_TooFewValues;
    for (int i = 0; i < count; ++i) values[i] = got[static_cast<std::size_t>(i)];
    return kFile_Ok;
}
