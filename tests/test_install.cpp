// SPDX-License-Identifier: GPL-3.0-or-later
// The program as it ships: its command line with and without a display, the installed tree
// (cmake --install into a scratch directory) with the desktop entry and the metainfo checked by
// Debian's tools, and the logos found both in the build tree and in the installed one.

#include <QProcess>

#include <cstdlib>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

struct Outcome { int code = -1; std::string out, err; }; // -1: did not end by itself

Outcome Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

const std::string kBin = std::getenv("ZEP4_TEST_BIN_DIR") ? std::getenv("ZEP4_TEST_BIN_DIR") : "";

TEST(CommandLine, HelpAndVersionNeedNoDisplayAnythingElseIsAUsageError) {
    // With no display reachable, a program that brought up its window would fail instead.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    const std::tuple<QStringList, int, const char*, const char*> cases[] = { // arguments, code, start of stdout or of stderr
        {{"--version"}, 0, "kvex-zep4 (K-VEX-ZEP4-Duvez) 2.0\n", nullptr},
        {{"--help"}, 0, "usage: kvex-zep4 [--help | --version]\n", nullptr},
        {{"-platform"}, 2, nullptr, "kvex-zep4: unexpected argument '-platform'\nusage: kvex-zep4"},
        {{"--help", "--version"}, 2, nullptr, "kvex-zep4: unexpected argument '--version'\nusage: kvex-zep4"},
        {{""}, 2, nullptr, "kvex-zep4: unexpected argument ''\nusage: kvex-zep4"},
        // Without arguments it needs the display: one line says so, not Qt's abort.
        {{}, 255, nullptr, "kvex-zep4: no display can be opened (is DISPLAY or WAYLAND_DISPLAY set?)\n"}};
    for (const auto& [args, code, out, err] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome r = Execute(QString::fromStdString(kBin + "/kvex-zep4"), args, env);
        EXPECT_EQ(r.code, code);
        EXPECT_EQ((out ? r.out : r.err).rfind(out ? out : err, 0), 0u) << r.out << r.err;
        EXPECT_EQ((out ? r.err : r.out), "");
    }
    // What Qt says while the application comes up is held back, then given out as it was.
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("XDG_RUNTIME_DIR");
    env.insert("ZEP4_SERIAL_PORTS", "/dev/zep4-no-such-device");
    QProcess running;
    running.setProcessEnvironment(env);
    running.setReadChannel(QProcess::StandardError);
    running.start(QString::fromStdString(kBin + "/kvex-zep4"), {});
    EXPECT_TRUE(running.waitForReadyRead(20000));
    EXPECT_TRUE(running.readAllStandardError().startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"));
    running.kill();
    running.waitForFinished();
}

TEST(Installed, FilesWhereDebianLooksForThemValidEntriesAndLogosFound) {
    const std::string dest = MakeTempDir("zep4-install");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(dest));
    const Outcome install = Execute(ZEP4_CMAKE, {"--install", ZEP4_BUILD_DIR, "--prefix", "/usr"}, env);
    ASSERT_EQ(install.code, 0) << install.out << install.err;
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dest))
        if (!e.is_directory()) files.push_back(fs::relative(e.path(), dest).string());
    std::sort(files.begin(), files.end());
    const std::string entry = "usr/share/applications/net.zep4.kvex_zep4.desktop",
                      meta = "usr/share/metainfo/net.zep4.kvex_zep4.metainfo.xml";
    const std::vector<std::string> expected = {
        "usr/bin/kvex-zep4", "usr/bin/zep4-sim", "usr/bin/zep4ctl", entry, "usr/share/doc/kvex-zep4/copyright",
        "usr/share/icons/hicolor/128x128/apps/kvex-zep4.png", "usr/share/icons/hicolor/48x48/apps/kvex-zep4.png",
        "usr/share/icons/hicolor/64x64/apps/kvex-zep4.png", "usr/share/kvex-zep4/zep4logo2.bmp",
        "usr/share/kvex-zep4/zep4logo3.bmp", "usr/share/kvex-zep4/zep4logo4.bmp", "usr/share/kvex-zep4/zep4logo6.bmp",
        "usr/share/man/man1/zep4ctl.1", meta};
    EXPECT_EQ(files, expected);
    // The entry starts the installed program and shows the installed icon.
    const std::string text = ReadBytes(dest + "/" + entry);
    EXPECT_TRUE(text.find("\nExec=kvex-zep4\n") != std::string::npos && text.find("\nIcon=kvex-zep4\n") != std::string::npos);
    const Outcome desktop = Execute("desktop-file-validate", {QString::fromStdString(dest + "/" + entry)}, env),
                  appstream = Execute("appstreamcli", {"validate", "--no-net", "--pedantic", QString::fromStdString(dest + "/" + meta)}, env);
    EXPECT_EQ(std::make_pair(desktop.code, desktop.out + desktop.err), std::make_pair(0, std::string())); // not even a hint
    EXPECT_EQ(appstream.code, 0) << appstream.out << appstream.err;
    // Logos: beside the program in the build tree, else in the installed data directory.
    const std::string usr = dest + "/usr";
    const struct { std::string programDir; const char* file; int result; std::string path; } cases[] = {
        {kBin, "zep4logo3.bmp", 0, kBin + "/zep4logo3.bmp"},
        {usr + "/bin", "zep4logo6.bmp", 0, usr + "/share/kvex-zep4/zep4logo6.bmp"},
        {usr + "/bin", "zep4logo9.bmp", -1, usr + "/bin/zep4logo9.bmp"},
    };
    for (const auto& c : cases) {
        char path[MAX_PATHNAME_LEN] = "";
        EXPECT_EQ(LogoPath(c.programDir.c_str(), c.file, path), c.result) << c.file;
        EXPECT_EQ(fs::weakly_canonical(path), c.path) << c.file;
    }
    fs::remove_all(dest);
}

} // namespace
