// SPDX-License-Identifier: GPL-3.0-or-later
// File run-time: the array writer and reader, deletion, paths. The chooser's answers are
// checked through the record-file chooser (test_recorder).

#include <csignal>
#include <sys/resource.h>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempDir("zep4-files"); }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string dir;
};

TEST_F(FilesTest, ReaderTakesTheFirstNumbersOrLeavesTheValuesAlone) {
    std::string many; // long enough for numbers to straddle the reader's chunks
    std::vector<uint32_t> manyValues;
    for (uint32_t i = 0; i < 3000; ++i) {
        manyValues.push_back(i * 7919 % 65536);
        many += std::to_string(manyValues.back()) + (i % 3 ? " " : "\r\n");
    }
    const struct { std::string content; int count; uint32_t max; int result; std::vector<uint32_t> values; } cases[] = {
        {" \t7\r\n\v8\f  9", 3, 65535, kFile_Ok, {7, 8, 9}},
        {"0 007\n  500\n65535 junk", 4, 65535, kFile_Ok, {0, 7, 500, 65535}},
        {many, 3000, 65535, kFile_Ok, manyValues},
        {"1 2x 3", 3, 65535, kFile_BadToken, {}},
        {"1 2 3x", 3, 65535, kFile_BadToken, {}},
        {"-1 +2 3", 3, 65535, kFile_BadToken, {}},
        {std::string("12\0 3\xff\x80", 7), 2, 65535, kFile_BadToken, {}},
        {"1 " + std::string(5000, '9'), 2, 65535, kFile_ValueTooLarge, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 20));
        Write(Path("in"), c.content);
        std::vector<uint32_t> v(c.count + 1, 0xA5A5A5A5u), want = c.values;
        if (want.empty()) want.assign(c.count, 0xA5A5A5A5u); // a failed read changes no value
        want.push_back(0xA5A5A5A5u);                         // nor one past the count
        ASSERT_EQ(FileToArray(Path("in").c_str(), v.data(), c.count, c.max), c.result);
        EXPECT_EQ(v, want);
    }
    uint32_t v = 42;
    EXPECT_EQ(FileToArray(dir.c_str(), &v, 1, 65535), kFile_CannotOpen);
    EXPECT_EQ(v, 42u);
}

TEST_F(FilesTest, WriterLaysOutRowsAndFieldsAppendsAndLeavesNoHalfLine) {
    const std::string p = Path("out");
    const uint32_t rec[4] = {612, 487, 2142, 1607}, odd[5] = {1, 2, 3, 4, 123456};
    Write(p, "old content\n");
    ASSERT_EQ(ArrayToFile(p.c_str(), odd, 5, 2, '\t', 5, FileAction::Truncate), kFile_Ok);
    EXPECT_EQ(ReadBytes(p), "    1\t    2\n    3\t    4\n123456\n");
    ASSERT_EQ(ArrayToFile(p.c_str(), "HEAD: ", 6, FileAction::Truncate), kFile_Ok); // over what is there
    ASSERT_EQ(ArrayToFile(p.c_str(), rec, 4, 4, '\t', 0, FileAction::Append), kFile_Ok);
    EXPECT_EQ(ReadBytes(p), "HEAD: 612\t487\t2142\t1607\n");

    // Failures: a file that cannot be opened, and an append cut short, which leaves no half line.
    const uint32_t row[4] = {11111, 22222, 33333, 44444}; // 24 bytes
    EXPECT_EQ(ArrayToFile(Path("gone/x").c_str(), row, 4, 4, '\t', 0, FileAction::Append), kFile_CannotOpen);
    Write(p, "0123456789");
    struct rlimit old {}, small {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    small = old;
    small.rlim_cur = 16; // only 6 of the 24 bytes fit
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = ArrayToFile(p.c_str(), row, 4, 4, '\t', 0, FileAction::Append);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, kFile_WriteFailed);
    EXPECT_EQ(ReadBytes(p), "0123456789");
}

TEST_F(FilesTest, DeletionAndPaths) {
    Write(Path("del"), "x");
    EXPECT_EQ(CVI_DeleteFile(Path("del").c_str()), 0);
    EXPECT_EQ(CVI_DeleteFile(Path("del").c_str()), -1); // no file
    fs::create_directory(Path("sub"));
    int d = CVI_DeleteFile(Path("sub").c_str());
    EXPECT_TRUE(d < -1 && fs::exists(Path("sub")));

    char path[MAX_PATHNAME_LEN];
    EXPECT_EQ(MakePathname("/opt/zep4/", "a.cfg", path), 0);
    EXPECT_STREQ(path, "/opt/zep4/a.cfg");
    EXPECT_LT(MakePathname(std::string(MAX_PATHNAME_LEN - 5, 'd').c_str(), "KVexRecord.dat", path), 0);
    EXPECT_STREQ(path, ""); // never a cut-off path that names another file
}

} // namespace
