// The program as it ships: its command line, the installed tree (cmake --install into a
// scratch directory) with the desktop entry and the metainfo checked by Debian's tools, and the
// logos found both in the build tree and in the installed one.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "branding/logo.h"
#include "support/harness.h"

namespace fs = std::filesystem;

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

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dest = MakeTempDir("zep4-install");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", QString::fromStdString(dest));
        const Outcome r = Execute(ZEP4_CMAKE, {"--install", ZEP4_BUILD_DIR, "--prefix", "/usr"}, env);
        installed = r.code == 0;
        log = r.out + r.err;
    }
    static void TearDownTestSuite() { fs::remove_all(dest); }
    static Outcome Tool(const char* tool, QStringList args) {
        return Execute(tool, args, QProcessEnvironment::systemEnvironment());
    }
    void SetUp() override { ASSERT_TRUE(installed) << log; }
    static inline std::string dest, log;
    static inline bool installed = false;
};

TEST_F(Installed, FilesWhereDebianLooksForThem) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dest))
        if (!e.is_directory()) files.push_back(fs::relative(e.path(), dest).string());
    std::sort(files.begin(), files.end());
    const std::vector<std::string> expected = {
        "usr/bin/kvex-zep4",
        "usr/bin/zep4-sim",
        "usr/share/applications/net.zep4.kvex_zep4.desktop",
        "usr/share/doc/kvex-zep4/copyright",
        "usr/share/icons/hicolor/128x128/apps/kvex-zep4.png",
        "usr/share/icons/hicolor/48x48/apps/kvex-zep4.png",
        "usr/share/icons/hicolor/64x64/apps/kvex-zep4.png",
        "usr/share/kvex-zep4/zep4logo2.bmp",
        "usr/share/kvex-zep4/zep4logo3.bmp",
        "usr/share/kvex-zep4/zep4logo4.bmp",
        "usr/share/kvex-zep4/zep4logo6.bmp",
        "usr/share/metainfo/net.zep4.kvex_zep4.metainfo.xml",
    };
    EXPECT_EQ(files, expected);
    // The entry starts the installed program and shows the installed icon.
    const std::string entry = ReadBytes(dest + "/usr/share/applications/net.zep4.kvex_zep4.desktop");
    EXPECT_NE(entry.find("\nExec=kvex-zep4\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=kvex-zep4\n"), std::string::npos);
}

TEST_F(Installed, DesktopEntryAndMetainfoPassDebiansValidators) {
    const Outcome desktop = Tool("desktop-file-validate", {QString::fromStdString(
                                                          dest + "/usr/share/applications/net.zep4.kvex_zep4.desktop")});
    EXPECT_EQ(desktop.code, 0) << desktop.out << desktop.err;
    EXPECT_EQ(desktop.out + desktop.err, "");
    const Outcome meta = Tool("appstreamcli", {"validate", "--no-net", "--pedantic",
                                           QString::fromStdString(dest + "/usr/share/metainfo/net.zep4.kvex_zep4.metainfo.xml")});
    EXPECT_EQ(meta.code, 0) << meta.out << meta.err;
}

TEST_F(Installed, LogosFoundBesideTheProgramOrInTheInstalledDataDirectory) {
    const std::string build = BinDir(), usr = dest + "/usr";
    const struct {
        std::string programDir;
        const char* file;
        int result;
        std::string path;
    } cases[] = {
        {build, "zep4logo3.bmp", 0, build + "/zep4logo3.bmp"},
        {usr + "/bin", "zep4logo6.bmp", 0, usr + "/share/kvex-zep4/zep4logo6.bmp"},
        {usr + "/bin", "zep4logo9.bmp", -1, usr + "/bin/zep4logo9.bmp"},
    };
    for (const auto& c : cases) {
        char path[MAX_PATHNAME_LEN] = "";
        EXPECT_EQ(LogoPath(c.programDir.c_str(), c.file, path), c.result) << c.file;
        EXPECT_EQ(fs::weakly_canonical(path), c.path) << c.file;
    }
}

} // namespace
