// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of zep4ctl, for one port or for every port where a controller answers.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "ctl/ctl.h"
#include "live/live.h"
#include "params/params.h"
#include "runtime/files.h"
#include "runtime/serial.h"
#include "runtime/timing.h"
#include "recorder/recorder.h"

namespace ctl {

namespace {

enum Exit : int { kDone = 0, kDiffers = 1, kUsage = 2, kLine = 3 };

// Progress is for a person watching, not for a log.
bool Progress() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

std::string Where(const SerialPortEntry& p) {
    return "port " + std::to_string(p.number) + (p.device.empty() ? "" : " (" + p.device + ")");
}

int Fail(const SerialPortEntry& p, const std::string& what) {
    std::fprintf(stderr, "zep4ctl: %s: %s\n", Where(p).c_str(), what.c_str());
    return kLine;
}

int FileFail(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "zep4ctl: %s: %s\n", path.c_str(), what.c_str());
    return kUsage;
}

// Opens the port and checks the line; kDone or kLine with its message (quiet: none).
int Connect(const SerialPortEntry& p, bool quiet = false) {
    const int r = Open(p.number);
    if (r < 0) return quiet ? kLine : Fail(p, std::string("cannot open: ") + OpenErrorText(r));
    if (!CheckLine()) {
        Close();
        return quiet ? kLine : Fail(p, "line check failed: " + Status());
    }
    return kDone;
}

// Both sets, or nothing.
bool FetchBoth(const Options& o, const SerialPortEntry& p, Sets& out, int& rc) {
    for (int set : {0, 1})
        if (!Fetch(o.eeprom, set)) {
            rc = Fail(p, "no answer to the fetch of set " + std::to_string(set) + ": " + Status());
            return false;
        }
    out = VarsToSets();
    return true;
}

// The parameter words that differ, by name and channel.
std::vector<std::string> Differences(const Sets& file, const Sets& device) {
    std::vector<std::string> out;
    for (const ParamWord& w : kParamWords) {
        const unsigned a = file.w[w.set][w.word], b = device.w[w.set][w.word];
        if (a == b) continue;
        const std::string channel = w.channel ? std::string("channel ") + w.channel : "common";
        out.push_back(std::string(w.name) + " (" + channel + "): file " + std::to_string(a) + ", controller " +
                      std::to_string(b));
    }
    return out;
}

std::string Join(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& i : items) s += (s.empty() ? "" : "; ") + i;
    return s;
}

void Summary(const SerialPortEntry& p, const std::string& text) {
    std::printf("%d\t%s\t%s\n", p.number, p.device.c_str(), text.c_str());
}

std::string ReadBytesOf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// The parameter file of the variables, as text (written and read back through the file code).
bool ParaFileText(std::string& text) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/sets.cfg";
    if (!dir.isValid() || WriteParaFile(path.c_str()) != kFile_Ok) return false;
    text = ReadBytesOf(path);
    return true;
}

std::string FileNameFor(const SerialPortEntry& p, const std::string& firmware) {
    std::string name = "port" + std::to_string(p.number) + "-";
    for (char c : firmware) name += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
    return name + ".cfg";
}

int Get(const Options& o, const SerialPortEntry& p) {
    Sets sets;
    int rc = kDone;
    if (!FetchBoth(o, p, sets, rc)) return rc;
    if (o.all) {
        std::string firmware;
        if (!ReadFirmware(firmware)) return Fail(p, "no firmware text: " + Status());
        const std::string path =
            QDir(QString::fromStdString(o.output)).filePath(QString::fromStdString(FileNameFor(p, firmware))).toStdString();
        if (int e = WriteParaFile(path.c_str()); e != kFile_Ok) return FileFail(path, FileErrorReason(e));
        Summary(p, path);
    } else if (!o.output.empty()) {
        if (int e = WriteParaFile(o.output.c_str()); e != kFile_Ok) return FileFail(o.output, FileErrorReason(e));
    } else {
        std::string text;
        if (!ParaFileText(text)) return FileFail("temporary file", "not written");
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return kDone;
}

// diff and put: the controller's sets against the file's.
int Compare(const Options& o, const SerialPortEntry& p, const Sets& file) {
    if (o.command == "put") {
        SetsToVars(file);
        if (!Write(o.eeprom)) return Fail(p, "sets not written: " + Status());
    }
    Sets device;
    int rc = kDone;
    if (!FetchBoth(o, p, device, rc)) return rc;
    const std::vector<std::string> diffs = Differences(file, device);
    if (o.all)
        Summary(p, diffs.empty() ? (o.command == "put" ? "written" : "equal")
                                 : (o.command == "put" ? "read-back differs: " : "differs: ") + Join(diffs));
    else
        for (const std::string& d : diffs) std::printf("%s\n", d.c_str());
    return diffs.empty() ? kDone : kDiffers;
}

int RunCommand(const Options& o, const SerialPortEntry& p) {
    // The command carries set 0: the controller's own, so that only the command acts.
    if (!Fetch(false, 0)) return Fail(p, "no answer to the fetch of set 0: " + Status());
    if (!Command(OrderCode(o.command))) return Fail(p, "no answer to " + o.command + ": " + Status());
    for (const ParamWord& w : kParamWords)
        if (w.set == 0) std::printf("%s\t%u\n", w.name, unsigned{*w.var});
    return kDone;
}

int Live(const Options& o, const SerialPortEntry& p) {
    if (!Fetch(false, 0)) return Fail(p, "no answer to the fetch of set 0: " + Status());
    for (long n = 0; o.count == 0 || n < o.count; ++n) {
        if (!LiveAnswer(2.0)) return Fail(p, "no live answer: " + Status());
        std::string line = o.json ? "{" : "";
        for (const LiveWord& w : kLiveWords) {
            const std::string v = std::to_string(LiveValue(w));
            if (o.json)
                line += (line.size() > 1 ? ", \"" : "\"") + std::string(w.name) + "\": " + v;
            else
                line += (line.empty() ? "" : "\t") + v;
        }
        std::printf("%s%s\n", line.c_str(), o.json ? "}" : "");
        std::fflush(stdout);
    }
    return kDone;
}

// As the recorder does it: a sample at the first answer a whole interval after the last one.
int Record(const Options& o, const SerialPortEntry& p) {
    if (!Fetch(false, 0)) return Fail(p, "no answer to the fetch of set 0: " + Status());
    const auto samples = static_cast<uint16_t>(o.samples), interval = static_cast<uint16_t>(o.interval);
    if (!WriteRecHeader(o.output.c_str(), interval)) return FileFail(o.output, "cannot write the record file");
    uint16_t tick = RecTickMark(Timer());
    for (uint16_t count = 0; count < samples;) {
        if (!LiveAnswer(1.5)) return Fail(p, "no live answer after " + std::to_string(count) + " samples: " + Status());
        if (RecElapsedSeconds(Timer(), tick) < interval) continue;
        const std::string when =
            o.timestamps ? QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString() : std::string();
        if (!WriteRecSample(o.output.c_str(), when)) return FileFail(o.output, "cannot write the record file");
        ++count;
        tick = RecTickMark(Timer());
        if (Progress()) std::fprintf(stderr, "\rzep4ctl: %u of %u samples", unsigned{count}, unsigned{samples});
    }
    if (Progress()) std::fputs("\n", stderr);
    return kDone;
}

int Data(const Options& o, const SerialPortEntry& p) {
    uint16_t samples[256];
    if (!DataBlocks(o.kind, samples)) return Fail(p, "data blocks not read: " + Status());
    std::string text;
    for (int i = 0; i < 256; ++i) text += std::to_string(i) + "\t" + std::to_string(samples[i]) + "\n";
    if (o.output.empty())
        std::fwrite(text.data(), 1, text.size(), stdout);
    else if (ArrayToFile(o.output.c_str(), text.data(), static_cast<int>(text.size()), FileAction::Truncate) != kFile_Ok)
        return FileFail(o.output, "cannot write the file");
    return kDone;
}

// ports: every port; --check adds the line check and the firmware text; --all keeps only the
// ports where a controller answers.
int Ports(const Options& o) {
    int answered = 0;
    for (const SerialPortEntry& p : ListSerialPorts()) {
        std::string line = std::to_string(p.number) + "\t" + p.device + "\t" + p.description;
        if (o.check || o.all) {
            if (Progress()) std::fprintf(stderr, "zep4ctl: checking %s ...\n", Where(p).c_str());
            std::string firmware;
            const int r = Open(p.number);
            const bool ok = r >= 0 && CheckLine();
            const std::string check = r < 0 ? OpenErrorText(r) : Status();
            if (ok && !ReadFirmware(firmware)) firmware = "(" + Status() + ")";
            if (r >= 0) Close();
            if (!ok && o.all) continue;
            answered += ok;
            line += "\t" + check + "\t" + firmware;
        }
        std::printf("%s\n", line.c_str());
    }
    if (o.all && answered == 0) {
        std::fputs("zep4ctl: no controller answered on any port\n", stderr);
        return kLine;
    }
    return kDone;
}

int OnPort(const Options& o, const SerialPortEntry& p, const Sets& file) {
    if (o.command == "get") return Get(o, p);
    if (o.command == "diff" || o.command == "put") return Compare(o, p, file);
    if (OrderCode(o.command)) return RunCommand(o, p);
    if (o.command == "live") return Live(o, p);
    if (o.command == "record") return Record(o, p);
    return Data(o, p);
}

} // namespace

int Run(const Options& o) {
    if (o.command == "ports") return Ports(o);
    Sets file;
    if (o.command == "diff" || o.command == "put") {
        const std::string& path = o.args.front();
        if (int e = ReadParaFile(path.c_str()); e != kFile_Ok) return FileFail(path, FileErrorReason(e));
        file = VarsToSets();
    }
    if (!o.all) {
        const std::vector<SerialPortEntry> ports = ListSerialPorts();
        auto it = std::find_if(ports.begin(), ports.end(), [&](const auto& e) { return e.number == o.port; });
        const SerialPortEntry p = it != ports.end() ? *it : SerialPortEntry{o.port, "", ""};
        if (it == ports.end()) return Fail(p, "no such port");
        if (int rc = Connect(p); rc != kDone) return rc;
        const int rc = OnPort(o, p, file);
        Close();
        return rc;
    }
    if (o.command == "get" && !QDir().mkpath(QString::fromStdString(o.output)))
        return FileFail(o.output, "cannot make the directory");
    int worst = kDone, answered = 0;
    for (const SerialPortEntry& p : ListSerialPorts()) {
        if (Progress()) std::fprintf(stderr, "zep4ctl: %s ...\n", Where(p).c_str());
        if (Connect(p, true) != kDone) {
            if (Progress()) std::fprintf(stderr, "zep4ctl: %s: no controller\n", Where(p).c_str());
            continue;
        }
        ++answered;
        worst = std::max(worst, OnPort(o, p, file));
        std::fflush(stdout);
        Close();
    }
    if (answered == 0) {
        std::fputs("zep4ctl: no controller answered on any port\n", stderr);
        return kLine;
    }
    return worst;
}

} // namespace ctl
