// The renderer's file names and whole-or-nothing files, without running the tool.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/frame_files.h"
#include "tools/output_file.h"

TEST(FrameName, KeepsFourDigitsAndWidensSoNamesSortInFrameOrder)
{
    EXPECT_EQ(IMG_FrameName(0, 1), "frame-0000");
    EXPECT_EQ(IMG_FrameName(9999, 10000), "frame-9999");
    EXPECT_EQ(IMG_FrameName(0, 10001), "frame-00000");
    EXPECT_EQ(IMG_FrameName(10000, 10001), "frame-10000");
    EXPECT_EQ(IMG_FrameName(123, 1000000001), "frame-0000000123");
    EXPECT_EQ(IMG_FrameName(18446744073709551614u, 18446744073709551615u), "frame-18446744073709551614");
    for (uint64_t count : {1u, 9999u, 10000u, 10001u, 100000u, 100001u, 1234567u}) {
        std::vector<uint64_t> frames = {0, 9, 999, 9999, count / 2, count - 2, count - 1};
        frames.erase(std::remove_if(frames.begin(), frames.end(), [&](uint64_t n) { return n >= count; }),
                     frames.end());
        std::sort(frames.begin(), frames.end());
        std::vector<std::string> names;
        for (uint64_t n : frames)
            names.push_back(IMG_FrameName(n, count));
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << count;
        for (const std::string &name : names)
            EXPECT_EQ(name.size(), names.back().size()) << count;
    }
}

class OutputFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tracker-output-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0) << "cannot remove " << dir; }
    bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
    std::string dir;
};

TEST_F(OutputFiles, AppearOnlyWhenCommittedAndWithOrdinaryPermissions)
{
    const mode_t mask = umask(022);
    OutputFile file;
    ASSERT_TRUE(OUT_Open(&file, dir + "/a.bin"));
    ASSERT_TRUE(OUT_Write(&file, "abc", 3));
    EXPECT_FALSE(Exists(dir + "/a.bin")) << "visible before it is whole";
    EXPECT_TRUE(Exists(file.temporary));
    EXPECT_EQ(file.temporary.rfind(dir + "/.a.bin.", 0), 0u) << "hidden, in the same folder";
    ASSERT_TRUE(OUT_Commit(&file));
    struct stat info;
    ASSERT_EQ(stat((dir + "/a.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 3);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_FALSE(Exists(file.temporary));
    umask(mask);
}

TEST_F(OutputFiles, AbandonedOrFailedFilesLeaveNothing)
{
    OutputFile file;
    ASSERT_TRUE(OUT_Open(&file, dir + "/b.bin"));
    ASSERT_TRUE(OUT_Write(&file, "abc", 3));
    OUT_Abandon(&file);
    EXPECT_FALSE(Exists(file.temporary));
    EXPECT_FALSE(Exists(dir + "/b.bin"));
    OUT_Abandon(&file);  // a second time does nothing

    // The rename fails when the target is a non-empty folder: the error is kept, the data gone.
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/c.bin/inside'").c_str()), 0);
    ASSERT_TRUE(OUT_Open(&file, dir + "/c.bin"));
    ASSERT_TRUE(OUT_Write(&file, "abc", 3));
    EXPECT_FALSE(OUT_Commit(&file));
    EXPECT_NE(file.error, 0);
    EXPECT_FALSE(Exists(file.temporary));
    EXPECT_EQ(OUT_Failure(file).rfind("cannot write " + dir + "/c.bin: ", 0), 0u) << OUT_Failure(file);

    EXPECT_FALSE(OUT_Open(&file, dir + "/missing/d.bin"));
    EXPECT_EQ(OUT_Failure(file), "cannot write " + dir + "/missing/d.bin: No such file or directory");
}

// Each open file holds a place in the list a signal removes files by; when every place is taken
// the next file is refused before it exists, and a finished or abandoned file frees its place.
TEST_F(OutputFiles, OneFileTooManyIsRefusedAndFinishedFilesMakeRoom)
{
    std::vector<OutputFile> files(4);
    for (size_t i = 0; i < files.size(); ++i)
        ASSERT_TRUE(OUT_Open(&files[i], dir + "/" + std::to_string(i))) << i;
    OutputFile extra;
    EXPECT_FALSE(OUT_Open(&extra, dir + "/extra"));
    EXPECT_EQ(OUT_Failure(extra), "cannot write " + dir + "/extra: Too many open files");
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "' | wc -l) -eq 4").c_str()), 0) << "the refused file was made";
    ASSERT_TRUE(OUT_Commit(&files[1]));
    OUT_Abandon(&files[2]);
    ASSERT_TRUE(OUT_Open(&files[1], dir + "/again"));
    ASSERT_TRUE(OUT_Open(&files[2], dir + "/extra"));
    EXPECT_FALSE(OUT_Open(&extra, dir + "/extra"));
    for (OutputFile &file : files)
        ASSERT_TRUE(OUT_Commit(&file));
    EXPECT_TRUE(Exists(dir + "/again") && Exists(dir + "/extra") && Exists(dir + "/1"));
}
