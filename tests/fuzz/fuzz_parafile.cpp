// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the parameter-file reader: FileToArray against a plain reference reading, and
// ReadParaFromFile behind an answered file chooser, with arbitrary file contents.
// Byte 0 picks the chooser's answer; the rest is the file.
#include <QApplication>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "runtime/files.h"
#include "runtime/ui.h"

namespace {

constexpr int kValues = 32;
constexpr uint32_t kUntouched = 0xDEADBEEF;
std::string filePath;
int chooserResult = 1;

void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The reading the file format asks for: the first 32 white-space separated tokens, each all
// digits and at most maxValue; the first bad token decides the error.
int Reference(const uint8_t* data, size_t size, uint32_t maxValue, std::vector<uint32_t>& out) {
    size_t i = 0;
    while (static_cast<int>(out.size()) < kValues) {
        while (i < size && std::isspace(data[i])) ++i;
        if (i == size) return kFile_TooFewValues;
        bool bad = false;
        uint64_t v = 0;
        for (; i < size && !std::isspace(data[i]); ++i) {
            if (data[i] < '0' || data[i] > '9')
                bad = true;
            else if (v <= maxValue)
                v = v * 10 + (data[i] - '0');
        }
        if (bad) return kFile_BadToken;
        if (v > maxValue) return kFile_ValueTooLarge;
        out.push_back(static_cast<uint32_t>(v));
    }
    return kFile_Ok;
}

void Snapshot(uint16_t (&sets)[2][PNUM]) {
    for (int s = 0; s < 2; ++s) {
        CopyVarsToPP(static_cast<uint16_t>(s));
        std::memcpy(sets[s], pp, sizeof pp);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle <= 0 || panelPopUp <= 0) Fail("panels did not load");
    GetProjectDir(proj_dir);
    InitVars();
    filePath = "/tmp/zep4-fuzz-para-" + std::to_string(getpid()) + ".cfg";
    SetFileSelectHook([](const FileSelectRequest&, std::string& path) {
        path = filePath;
        return chooserResult;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // Mostly an existing file; also a new one, none, and a failed chooser.
    static const int answers[] = {VAL_EXISTING_FILE_SELECTED, VAL_NEW_FILE_SELECTED, VAL_NO_FILE_SELECTED, -1};
    chooserResult = answers[std::max(data[0] % 6 - 2, 0)];
    const uint8_t* body = data + 1;
    const size_t n = size - 1;
    if (!std::ofstream(filePath, std::ios::binary).write(reinterpret_cast<const char*>(body), std::streamsize(n)))
        Fail("cannot write the fuzz file");

    // The reader on its own; on the heap, so that a write past the values is caught.
    const uint32_t maxValue = (data[0] & 0x80) ? 65535u : 0xFFFFFFFFu;
    std::vector<uint32_t> values(kValues, kUntouched), expect;
    const int rc = FileToArray(filePath.c_str(), values.data(), kValues, maxValue);
    if (rc != Reference(body, n, maxValue, expect)) Fail("FileToArray result differs from the reference reading");
    if (rc != kFile_Ok) expect.assign(kValues, kUntouched); // an error leaves every value alone
    if (values != expect) Fail("values differ from the reference reading");

    // The parameter file load: all 32 values or nothing.
    uint16_t before[2][PNUM], after[2][PNUM];
    Snapshot(before);
    ReadParaFromFile();
    Snapshot(after);
    expect.clear();
    if ((chooserResult <= 0 || Reference(body, n, 65535, expect) != kFile_Ok) && std::memcmp(before, after, sizeof before))
        Fail("a rejected or cancelled file changed the parameters");
    return 0;
}
