// File run-time: the array writer and reader, deletion, paths, the chooser's answers.
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zep4-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        SetFileSelectHook({});
        SetConfirmHook({});
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string dir;
};

struct ReadCase {
    const char* name;
    std::string content;
    int count;
    uint32_t maxValue;
    int result;
    std::vector<uint32_t> values; // expected when result is kFile_Ok
};

TEST_F(FilesTest, FileToArrayTakesTheFirstNumbersOrLeavesTheValuesAlone) {
    const uint32_t max16 = 65535, max32 = UINT32_MAX;
    const std::vector<ReadCase> cases = {
        {"one per line", "1\n2\n3\n", 3, max16, kFile_Ok, {1, 2, 3}},
        {"any white space", " \t7\r\n\v8\f  9", 3, max16, kFile_Ok, {7, 8, 9}},
        {"padded fields", "    0\n  500\n65535\n", 3, max16, kFile_Ok, {0, 500, 65535}},
        {"leading zeros", "007 0000", 2, max16, kFile_Ok, {7, 0}},
        {"more than asked", "1 2 3 4 junk", 3, max16, kFile_Ok, {1, 2, 3}},
        {"no line end at the end", "10 20", 2, max16, kFile_Ok, {10, 20}},
        {"32-bit top", "4294967295", 1, max32, kFile_Ok, {4294967295u}},
        {"too few", "1 2", 3, max16, kFile_TooFewValues, {}},
        {"empty", "", 1, max16, kFile_TooFewValues, {}},
        {"blank only", " \n\t\r\n", 1, max16, kFile_TooFewValues, {}},
        {"word", "1 x 3", 3, max16, kFile_BadToken, {}},
        {"digits then letters", "1 2x 3", 3, max16, kFile_BadToken, {}},
        {"last token spoiled", "1 2 3x", 3, max16, kFile_BadToken, {}},
        {"minus sign", "-1 2 3", 3, max16, kFile_BadToken, {}},
        {"plus sign", "+1", 1, max16, kFile_BadToken, {}},
        {"decimal point", "1.5", 1, max16, kFile_BadToken, {}},
        {"hex", "0x10", 1, max16, kFile_BadToken, {}},
        {"zero byte inside", std::string("12\0 3", 5), 2, max16, kFile_BadToken, {}},
        {"binary garbage", std::string("\xff\xfe\x00\x01\x80", 5), 1, max16, kFile_BadToken, {}},
        {"above the maximum", "65535 65536", 2, max16, kFile_ValueTooLarge, {}},
        {"above 32 bits", "4294967296", 1, max32, kFile_ValueTooLarge, {}},
        {"huge number", "1 " + std::string(5000, '9') + " 3", 3, max32, kFile_ValueTooLarge, {}},
        {"maximum zero", "0 1", 2, 0, kFile_ValueTooLarge, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Path("in.txt");
        Write(path, c.content);
        std::vector<uint32_t> values(static_cast<std::size_t>(c.count) + 1, 0xA5A5A5A5u);
        EXPECT_EQ(FileToArray(path.c_str(), values.data(), c.count, c.maxValue), c.result);
        for (int i = 0; i < c.count; ++i)
            EXPECT_EQ(values[i], c.result == kFile_Ok ? c.values[i] : 0xA5A5A5A5u) << "value " << i;
        EXPECT_EQ(values[c.count], 0xA5A5A5A5u) << "written past the count";
    }
}

TEST_F(FilesTest, FileToArrayReadsLongFilesAcrossItsBufferAndRefusesWhatItCannotOpen) {
    // Thousands of numbers, so tokens straddle the reader's chunks.
    std::string text;
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < 3000; ++i) {
        uint32_t v = (i * 7919u) % 65536u;
        expected.push_back(v);
        text += std::to_string(v) + (i % 3 ? " " : "\r\n");
    }
    Write(Path("long.txt"), text);
    std::vector<uint32_t> got(3000);
    ASSERT_EQ(FileToArray(Path("long.txt").c_str(), got.data(), 3000, 65535), kFile_Ok);
    EXPECT_EQ(got, expected);

    uint32_t v = 42;
    EXPECT_EQ(FileToArray(Path("missing.txt").c_str(), &v, 1, 65535), kFile_CannotOpen);
    EXPECT_EQ(FileToArray(dir.c_str(), &v, 1, 65535), kFile_CannotOpen); // a directory
    EXPECT_EQ(FileToArray("", &v, 1, 65535), kFile_CannotOpen);
    EXPECT_EQ(FileToArray(nullptr, &v, 1, 65535), kFile_CannotOpen);
    EXPECT_EQ(v, 42u);
}

struct WriteCase {
    const char* name;
    std::vector<uint32_t> values;
    int perRow;
    char separator;
    int width;
    std::string expected;
};

TEST_F(FilesTest, ArrayToFileLaysOutRowsAndFields) {
    const std::vector<WriteCase> cases = {
        {"record line", {612, 487, 2142, 1607}, 4, '\t', 0, "612\t487\t2142\t1607\n"},
        {"one per line, width 5", {0, 500, 65535}, 1, '\t', 5, "    0\n  500\n65535\n"},
        {"wider than the field", {123456}, 1, '\t', 5, "123456\n"},
        {"last row short", {1, 2, 3, 4, 5}, 2, '\t', 0, "1\t2\n3\t4\n5\n"},
        {"comma", {1, 2}, 2, ',', 0, "1,2\n"},
        {"largest value", {4294967295u}, 1, '\t', 0, "4294967295\n"},
        {"nothing", {}, 1, '\t', 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Path("out.txt");
        Write(path, "old content that must go\n");
        ASSERT_EQ(ArrayToFile(path.c_str(), c.values.data(), static_cast<int>(c.values.size()), c.perRow,
                              c.separator, c.width, FileAction::Truncate),
                  kFile_Ok);
        EXPECT_EQ(Read(path), c.expected);
    }
}

TEST_F(FilesTest, ArrayToFileAppendsTextAndNumbersAndRoundTripsThroughTheReader) {
    std::string path = Path("rec.dat");
    const char* header = "HEAD: ";
    ASSERT_EQ(ArrayToFile(path.c_str(), header, 6, FileAction::Truncate), kFile_Ok);
    uint32_t interval = 5;
    ASSERT_EQ(ArrayToFile(path.c_str(), &interval, 1, 1, '\t', 4, FileAction::Append), kFile_Ok);
    uint32_t row[4] = {1, 22, 333, 4444};
    ASSERT_EQ(ArrayToFile(path.c_str(), row, 4, 4, '\t', 0, FileAction::Append), kFile_Ok);
    EXPECT_EQ(Read(path), "HEAD:    5\n1\t22\t333\t4444\n");
    // Truncate replaces, bytes go out as they are with no line end.
    ASSERT_EQ(ArrayToFile(path.c_str(), "a\tb", 3, FileAction::Truncate), kFile_Ok);
    EXPECT_EQ(Read(path), "a\tb");

    std::vector<uint32_t> out(32), back(32, 0);
    for (int i = 0; i < 32; ++i) out[i] = static_cast<uint32_t>(i * 2047 % 65536);
    ASSERT_EQ(ArrayToFile(path.c_str(), out.data(), 32, 1, '\t', 5, FileAction::Truncate), kFile_Ok);
    ASSERT_EQ(FileToArray(path.c_str(), back.data(), 32, 65535), kFile_Ok);
    EXPECT_EQ(back, out);
}

TEST_F(FilesTest, ArrayToFileReportsFilesItCannotWrite) {
    uint32_t v = 1;
    EXPECT_EQ(ArrayToFile(Path("gone/x.dat").c_str(), &v, 1, 1, '\t', 0, FileAction::Append), kFile_CannotOpen);
    EXPECT_EQ(ArrayToFile(dir.c_str(), "x", 1, FileAction::Append), kFile_CannotOpen);
    EXPECT_EQ(ArrayToFile("", "x", 1, FileAction::Append), kFile_CannotOpen);
    EXPECT_EQ(ArrayToFile(Path("x").c_str(), "x", -1, FileAction::Append), kFile_WriteFailed);
    EXPECT_FALSE(fs::exists(Path("x")));
    // A full disk.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(ArrayToFile("/dev/full", &v, 1, 1, '\t', 0, FileAction::Append), kFile_WriteFailed);
        EXPECT_EQ(ArrayToFile("/dev/full", "abc", 3, FileAction::Truncate), kFile_WriteFailed);
    }
    if (geteuid() != 0) { // root writes anyway
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(ArrayToFile(Path("ro.dat").c_str(), "x", 1, FileAction::Append), kFile_CannotOpen);
        fs::permissions(dir, fs::perms::owner_all);
    }
}

TEST_F(FilesTest, AFileSizeLimitFailsTheWriteAndLeavesNoHalfLine) {
    std::string path = Path("limited.dat");
    ASSERT_EQ(ArrayToFile(path.c_str(), "0123456789", 10, FileAction::Truncate), kFile_Ok);

    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    uint32_t row[4] = {11111, 22222, 33333, 44444}; // 24 bytes: only 6 fit
    int result = ArrayToFile(path.c_str(), row, 4, 4, '\t', 0, FileAction::Append);
    int second = ArrayToFile(path.c_str(), "abcdefghij", 10, FileAction::Append);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, kFile_WriteFailed);
    EXPECT_EQ(second, kFile_WriteFailed);
    EXPECT_EQ(Read(path), "0123456789");
}

TEST_F(FilesTest, LinesReportedWrittenSurviveAKill) {
    std::string path = Path("killed.dat");
    int ack[2];
    ASSERT_EQ(pipe(ack), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ack[0]);
        uint32_t row[4] = {1, 2, 3, 4};
        for (uint32_t i = 0;; ++i) {
            row[0] = i;
            if (ArrayToFile(path.c_str(), row, 4, 4, '\t', 0, FileAction::Append) != kFile_Ok) _exit(1);
            char c = 'w';
            if (write(ack[1], &c, 1) != 1) _exit(2);
        }
    }
    close(ack[1]);
    int acknowledged = 0;
    char c;
    while (acknowledged < 300 && read(ack[0], &c, 1) == 1) ++acknowledged;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ack[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(acknowledged, 300);

    std::istringstream lines(Read(path));
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line, std::to_string(n) + "\t2\t3\t4") << "line " << n;
        ++n;
    }
    EXPECT_GE(n, 300);
}

TEST_F(FilesTest, DeletionAndPathJoining) {
    std::string f = Path("del.dat");
    Write(f, "x");
    EXPECT_EQ(CVI_DeleteFile(f.c_str()), 0);
    EXPECT_FALSE(fs::exists(f));
    EXPECT_EQ(CVI_DeleteFile(f.c_str()), -1);
    fs::create_directory(Path("sub"));
    int d = CVI_DeleteFile(Path("sub").c_str());
    EXPECT_LT(d, 0);
    EXPECT_NE(d, -1);
    EXPECT_TRUE(fs::exists(Path("sub")));

    char path[MAX_PATHNAME_LEN];
    EXPECT_EQ(MakePathname("/opt/zep4", "KVexRecord.dat", path), 0);
    EXPECT_STREQ(path, "/opt/zep4/KVexRecord.dat");
    EXPECT_EQ(MakePathname("/opt/zep4/", "a.cfg", path), 0);
    EXPECT_STREQ(path, "/opt/zep4/a.cfg");
    EXPECT_EQ(MakePathname("", "a.cfg", path), 0);
    EXPECT_STREQ(path, "a.cfg");
    std::string longDir(MAX_PATHNAME_LEN - 5, 'd');
    EXPECT_LT(MakePathname(longDir.c_str(), "KVexRecord.dat", path), 0);
    EXPECT_STREQ(path, "");

    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = '\0';
    char proj[MAX_PATHNAME_LEN];
    ASSERT_EQ(GetProjectDir(proj), 0);
    EXPECT_EQ(fs::path(proj), fs::path(exe).parent_path());
}

FileSelectRequest DatRequest(const std::string& dir, bool confirmReplace) {
    FileSelectRequest r;
    r.defaultDirectory = dir;
    r.defaultFile = "KVEXrecord.dat";
    r.filter = "*.dat";
    r.title = "Pick";
    r.button = SelectButton::Ok;
    r.restrictDirectory = false;
    r.restrictExtension = true;
    r.allowCancel = true;
    r.allowMakeDirectory = true;
    r.confirmReplace = confirmReplace;
    return r;
}

TEST_F(FilesTest, ChooserAnswersExistingNewCancelAndAsksBeforeReplacing) {
    std::string answer;
    int answerResult = 1;
    FileSelectRequest seen;
    SetFileSelectHook([&](const FileSelectRequest& r, std::string& p) {
        seen = r;
        p = answer;
        return answerResult;
    });
    int asked = 0, reply = 0;
    SetConfirmHook([&](const std::string&, const std::string& message) {
        ++asked;
        EXPECT_NE(message.find("old.dat"), std::string::npos);
        return reply;
    });
    Write(Path("old.dat"), "keep");
    char path[MAX_PATHNAME_LEN];
    CopyText(path, "previous");

    // Existing file, replacing refused: cancelled, path untouched.
    answer = Path("old.dat");
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, true), path), VAL_NO_FILE_SELECTED);
    EXPECT_EQ(asked, 1);
    EXPECT_STREQ(path, "previous");
    EXPECT_EQ(seen.defaultFile, "KVEXrecord.dat");
    // Replacing agreed.
    reply = 1;
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, true), path), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(std::string(path), Path("old.dat"));
    // Without confirmReplace nobody is asked.
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, false), path), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(asked, 2);
    // A new name, the extension added; existing or new is what the disk says.
    answer = Path("fresh");
    answerResult = 1;
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, true), path), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(std::string(path), Path("fresh.dat"));
    EXPECT_FALSE(fs::exists(Path("fresh.dat")));
    // Cancelled and failed choosers leave the path alone.
    CopyText(path, "previous");
    answerResult = 0;
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, true), path), VAL_NO_FILE_SELECTED);
    answerResult = -1;
    EXPECT_EQ(FileSelectPopup(DatRequest(dir, true), path), -1);
    // A path too long for the buffer is an error, never a cut-off name.
    answerResult = 2;
    answer = "/tmp/" + std::string(MAX_PATHNAME_LEN, 'n') + ".dat";
    EXPECT_LT(FileSelectPopup(DatRequest(dir, true), path), 0);
    EXPECT_STREQ(path, "previous");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Read(Path("old.dat")), "keep"); // the chooser itself deletes nothing

    EXPECT_EQ(ConfirmPopup("t", "old.dat?"), 1);
    reply = 0;
    EXPECT_EQ(ConfirmPopup("t", "old.dat?"), 0);
}

} // namespace
