#include "platform/text_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "kx_version.h"
#include "platform/os.h"

namespace {

TEST(TextOrSpaceTest, NullGivesOneSpaceElseACopy) {
  EXPECT_EQ(" ", TextOrSpace(nullptr));
  EXPECT_EQ("", TextOrSpace(""));
  EXPECT_EQ("100%s ok", TextOrSpace("100%s ok"));
}

TEST(FileExistsTest, FilesAndDirectoriesExist) {
  // Tests run in their source directory.
  EXPECT_TRUE(FileExists("."));
  EXPECT_TRUE(FileExists("text_helpers_test.cpp"));
  EXPECT_FALSE(FileExists("no_such_file_here.txt"));
  EXPECT_FALSE(FileExists(""));

  std::string temp;
  ASSERT_TRUE(os::TempDirectory(&temp));
  // The Windows file-status query refuses a directory named with a trailing
  // separator, so ask for the directory without it.
  EXPECT_TRUE(FileExists(temp.substr(0, temp.size() - 1)));
  const std::string file = temp + "kx_text_helpers_exists.tmp";
  std::remove(file.c_str());
  EXPECT_FALSE(FileExists(file));
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(nullptr, f);
  std::fclose(f);
  EXPECT_TRUE(FileExists(file));
  std::remove(file.c_str());
}

TEST(TrimSpacesTest, RemovesOnlySpacesAtBothEnds) {
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"  abc  ", "abc"},
      {"abc", "abc"},
      {"", ""},
      {"    ", ""},
      {" ", ""},
      {"\tabc  ", "\tabc"},
      {"abc\t ", "abc\t"},
      {" a b  c ", "a b  c"},
      {"\n x \n", "\n x \n"},
      {"  x", "x"},
      {"x  ", "x"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("input \"") + c.in + "\"");
    std::string text = c.in;
    TrimSpaces(text);
    EXPECT_EQ(c.out, text);
  }
}

TEST(ToCheckedIntTest, AcceptedValues) {
  const struct {
    const char* text;
    int base;
    int32_t value;
  } kCases[] = {
      {"1A2B", 16, 0x1A2B},
      {"0x1a2b", 16, 0x1A2B},
      {"0X1A2B", 16, 0x1A2B},
      {"  ff", 16, 255},
      {"\t+10", 16, 16},
      {"-10", 16, -16},
      {"0", 16, 0},
      {"7FFFFFFE", 16, 2147483646},
      {"-7FFFFFFF", 16, -2147483647},
      {"5D2C", 16, 0x5D2C},
      {"123", 10, 123},
      {"-2147483647", 10, -2147483647},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.value, ToCheckedInt(c.text, c.base));
  }
}

enum class Error { kInvalid, kUnderflow, kOverflow };

TEST(ToCheckedIntTest, ErrorsCarryTheText) {
  const struct {
    const char* text;
    Error error;
  } kCases[] = {
      {"", Error::kInvalid},
      {"1A2B ", Error::kInvalid},
      {"10G", Error::kInvalid},
      {"G", Error::kInvalid},
      {" ", Error::kInvalid},
      {"-", Error::kInvalid},
      {"0x", Error::kInvalid},
      {"12\n", Error::kInvalid},
      {"7FFFFFFF", Error::kOverflow},
      {"80000000", Error::kOverflow},
      {"FFFFFFFF", Error::kOverflow},
      {"123456789ABCDEF0123", Error::kOverflow},
      {"-80000000", Error::kUnderflow},
      {"-80000001", Error::kUnderflow},
      {"-FFFFFFFFFFFFFFFFFFFF", Error::kUnderflow},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    try {
      ToCheckedInt(c.text, 16);
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(Error::kInvalid, c.error);
      EXPECT_STREQ(c.text, e.what());
    } catch (const std::underflow_error& e) {
      EXPECT_EQ(Error::kUnderflow, c.error);
      EXPECT_STREQ(c.text, e.what());
    } catch (const std::overflow_error& e) {
      EXPECT_EQ(Error::kOverflow, c.error);
      EXPECT_STREQ(c.text, e.what());
    }
  }
}

TEST(ToCheckedIntTest, NullIsInvalidWithEmptyMessage) {
  try {
    ToCheckedInt(nullptr, 16);
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ("", e.what());
  }
}

TEST(GetOwnFileVersionTest, WritesFourNumbers) {
  os::FileVersion version;
  // The POSIX build compiles the project version in; a Windows executable
  // without a version resource shows zeros.
  const std::string expected = os::OwnFileVersion(&version) ? KX_VERSION_TEXT : "0.0.0.0";
  char buffer[64];
  EXPECT_EQ(static_cast<int>(expected.size()), GetOwnFileVersion(buffer, sizeof buffer));
  EXPECT_EQ(expected, buffer);
}

TEST(GetOwnFileVersionTest, StaysInsideTheBuffer) {
  char full[64];
  const int length = GetOwnFileVersion(full, sizeof full);
  ASSERT_GE(length, 7);

  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(3, GetOwnFileVersion(buffer, 4));
  EXPECT_EQ(std::string(full, 3), buffer);
  EXPECT_EQ('#', buffer[4]);

  EXPECT_EQ(0, GetOwnFileVersion(buffer, 1));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ(0, GetOwnFileVersion(buffer, 0));
  EXPECT_EQ(0, GetOwnFileVersion(nullptr, 16));
}

}  // namespace
