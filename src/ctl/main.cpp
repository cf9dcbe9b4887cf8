// SPDX-License-Identifier: GPL-3.0-or-later
// zep4ctl: options, usage and exit codes. Runs on Qt Core alone: no display is needed.
#include <QCoreApplication>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ctl/ctl.h"

namespace {

const char* const kUsage =
    "usage: zep4ctl [--port N | --device PATH | --all] COMMAND [options]\n"
    "The ZEP4 sensor controller from the command line.\n"
    "  ports [--check]                    each port: number, device, description\n"
    "                                     (--check: also the line check and firmware text)\n"
    "  get [--eeprom] [-o FILE]           both sets as a parameter file (stdout without -o;\n"
    "                                     with --all, -o names a directory)\n"
    "  put [--eeprom] FILE                write both sets, fetch them back, compare\n"
    "  diff [--eeprom] FILE               compare the controller's sets with FILE\n"
    "  teach | reset | refresh            send the command, print the fetched set 0\n"
    "  live [--count N] [--format tsv|json]   one line per live answer\n"
    "  record --samples N --interval S -o FILE [--timestamps]   the front end's record file\n"
    "  data [--kind raw|norm] [-o FILE]   the four data blocks: 256 rows of word and value\n"
    "  --port N      port number as in the front end (default 1)\n"
    "  --device PATH this device as port 1\n"
    "  --all         ports, get, diff or put on every port where a controller answers\n"
    "  --help, --version\n"
    "exit: 0 done or equal, 1 differs, 2 usage or file error, 3 line or controller error\n"
    "environment: ZEP4_SERIAL_PORTS  device paths separated by ':', ports 1, 2, ... before\n"
    "                                the system's serial ports\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "zep4ctl: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

// A whole decimal number within 0..max.
bool Number(const char* text, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || errno || v < 0 || v > max || !std::isdigit(static_cast<unsigned char>(*text))) return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ctl::Options o;
    std::string device;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char*& v) {
            if (i + 1 >= argc) return false;
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        long n = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("zep4ctl (K-VEX-ZEP4-Duvez) " ZEP4_VERSION);
            return 0;
        } else if (a == "--port") {
            if (!value(v) || !Number(v, 9999, n) || n < 1) return Usage("--port needs a port number from 1");
            o.port = static_cast<int>(n);
            portGiven = true;
        } else if (a == "--device") {
            if (!value(v) || !*v) return Usage("--device needs a path");
            device = v;
        } else if (a == "--all") {
            o.all = true;
        } else if (a == "--eeprom") {
            o.eeprom = true;
        } else if (a == "--check") {
            o.check = true;
        } else if (a == "--timestamps") {
            o.timestamps = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(v) || !*v) return Usage(a + " needs a path");
            o.output = v;
        } else if (a == "--count") {
            if (!value(v) || !Number(v, 2147483647L, o.count)) return Usage("--count needs a number");
        } else if (a == "--samples") {
            if (!value(v) || !Number(v, 65535, o.samples)) return Usage("--samples needs a number 0..65535");
        } else if (a == "--interval") {
            if (!value(v) || !Number(v, 65535, o.interval)) return Usage("--interval needs whole seconds 0..65535");
        } else if (a == "--format") {
            if (!value(v) || (std::strcmp(v, "tsv") != 0 && std::strcmp(v, "json") != 0))
                return Usage("--format is tsv or json");
            o.json = std::strcmp(v, "json") == 0;
        } else if (a == "--kind") {
            if (!value(v) || (std::strcmp(v, "raw") != 0 && std::strcmp(v, "norm") != 0))
                return Usage("--kind is raw or norm");
            o.kind = std::strcmp(v, "norm") == 0 ? 1 : 0;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + a + "'");
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.args.push_back(a);
        }
    }

    const std::string& c = o.command;
    const bool known = c == "ports" || c == "get" || c == "put" || c == "diff" || ctl::OrderCode(c) || c == "live" ||
                       c == "record" || c == "data";
    if (c.empty()) return Usage("no command");
    if (!known) return Usage("unknown command '" + c + "'");
    const size_t files = (c == "put" || c == "diff") ? 1 : 0;
    if (o.args.size() != files) return Usage(files ? c + " needs one FILE" : c + " takes no FILE");
    if ((portGiven || !device.empty()) + o.all > 1 || (portGiven && !device.empty()))
        return Usage("choose one of --port, --device, --all");
    if (o.all && !(c == "ports" || c == "get" || c == "diff" || c == "put"))
        return Usage("--all runs ports, get, diff or put");
    if (o.all && c == "get" && o.output.empty()) return Usage("get --all needs -o DIR");
    if (c == "record" && (o.samples < 0 || o.interval < 0 || o.output.empty()))
        return Usage("record needs --samples, --interval and -o");

    if (!device.empty()) {
        // The device comes first: port 1 for this run.
        const QByteArray old = qgetenv("ZEP4_SERIAL_PORTS");
        qputenv("ZEP4_SERIAL_PORTS", QByteArray::fromStdString(device) + (old.isEmpty() ? "" : ":" + old));
        o.port = 1;
    }
    QCoreApplication app(argc, argv);
    return ctl::Run(o);
}
