#include "platform/os.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kx_version.h"
#include "tests/support/files.h"

namespace {

TEST(OsTest, TempDirectoryEndsInSeparatorAndExists) {
  std::string temp;
  ASSERT_TRUE(os::TempDirectory(&temp));
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), os::PathSeparator());
  // The Windows runtime's stat refuses a trailing separator, so look at the
  // directory itself.
  EXPECT_TRUE(os::FileStatus(temp.substr(0, temp.size() - 1)));
}

TEST(OsTest, FileStatusAndRemove) {
  const ScratchDirectory scratch("os");
  const auto dir = scratch.path() / "d";
  EXPECT_FALSE(os::FileStatus(dir.string()));
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  EXPECT_TRUE(os::FileStatus(dir.string()));      // directories count
  const std::string file = (dir / "f").string();
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_TRUE(os::IsDirectory(dir.string()));
  EXPECT_FALSE(os::IsDirectory(file));
  EXPECT_FALSE(os::RemoveFile(dir.string()));  // a directory is not deleted as a file
  EXPECT_TRUE(os::RemoveFile(file));
  EXPECT_FALSE(os::IsDirectory(file));
  EXPECT_FALSE(os::RemoveFile(file));
}

TEST(OsTest, ProgramPathSeparators) {
  EXPECT_TRUE(os::IsProgramPathSeparator('\\'));
  EXPECT_FALSE(os::IsProgramPathSeparator('.'));
}

TEST(OsTest, ProgramThatCannotStartIsReported) {
  uint32_t code = 12345;
  EXPECT_FALSE(os::StartAndWait("kx-no-such-program-anywhere -x", &code));
  EXPECT_EQ(code, 12345u);
  EXPECT_FALSE(os::StartAndWait("", &code));
}

}  // namespace
