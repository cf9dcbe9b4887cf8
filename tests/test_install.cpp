// The program as it ships: its command line.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <cstdlib>
#include <string>

#include "support/harness.h"

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

std::string BinDir() {
    const char* dir = std::getenv("ZEP4_TEST_BIN_DIR");
    return dir ? dir : "";
}

TEST(CommandLine, HelpAndVersionNeedNoDisplayAnythingElseIsAUsageError) {
    // With no display reachable, a program that brought up its window would fail instead.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    const struct {
        QStringList args;
        int code;
        const char* out; // start of stdout ("" for none)
        bool usageOnStderr;
    } cases[] = {
        {{"--version"}, 0, "kvex-zep4 (K-VEX-ZEP4-Duvez) 2.0\n", false},
        {{"--help"}, 0, "usage: kvex-zep4 [--help | --version]\n", false},
        {{"-platform"}, 2, "", true},
        {{"--help", "--version"}, 2, "", true},
        {{"--versions"}, 2, "", true},
        {{""}, 2, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = Execute(QString::fromStdString(BinDir() + "/kvex-zep4"), c.args, env);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_EQ(r.err.find("usage: kvex-zep4") != std::string::npos, c.usageOnStderr) << r.err;
        if (!c.usageOnStderr) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.out, "");
        }
    }
}

} // namespace
