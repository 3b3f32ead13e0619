#include "firmware/firmware_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/capture.h"
#include "ui/user_interface.h"

namespace {

FirmwareVersion Parsed(const char* text, bool with_build = true) {
  FirmwareVersion version;
  version.Parse(text, with_build, nullptr);
  return version;
}

TEST(FirmwareVersionTest, ClearedValuePrintsAsTwoNumbers) {
  FirmwareVersion version;
  EXPECT_STREQ("", version.text);
  EXPECT_STREQ("0.0", version.Format());

  version = Parsed("7.8.9");
  version.Format();
  version.Clear();
  EXPECT_EQ(0u, version.major);
  EXPECT_EQ(0u, version.minor);
  EXPECT_EQ(0u, version.build);
  EXPECT_FALSE(version.hasBuild);
  EXPECT_STREQ("", version.text);
}

TEST(FirmwareVersionTest, ParsesVersionTexts) {
  const struct {
    const char* text;
    uint32_t major, minor, build;
    const char* printed;
  } kCases[] = {
      {"4.0.555", 4, 0, 555, "4.0.555"},
      {"v4.0.555", 4, 0, 555, "4.0.555"},
      {"ROM v4.0.555", 4, 0, 555, "4.0.555"},
      {"NCSI4.1.2", 4, 1, 2, "4.1.2"},
      {"NCSI 1.2.3", 1, 2, 3, "1.2.3"},
      {"4.0", 4, 0, 0, "4.0.0"},
      {"4..555", 4, 555, 0, "4.555.0"},
      {".4.5.6.", 4, 5, 6, "4.5.6"},
      {"...", 0, 0, 0, "0.0.0"},
      {"4.5.6.7", 4, 5, 6, "4.5.6"},
      {"7", 7, 0, 0, "7.0.0"},
      // After the first word and any further spaces.
      {"Boot   2.3.4", 2, 3, 4, "2.3.4"},
      {"Boot code 2.3.4", 0, 3, 4, "0.3.4"},  // past the 'c': "ode 2" reads as 0
      {" 5.6.7", 5, 6, 7, "5.6.7"},
      // Past the last 'v', then past the last 'c' after it.
      {"vv1.v2.3", 2, 3, 0, "2.3.0"},
      {"Firmware rev 5.1.9", 5, 1, 9, "5.1.9"},
      {"NCSIv3.2.1", 3, 2, 1, "3.2.1"},
      {"c1.2.3", 1, 2, 3, "1.2.3"},
      {"v1.2.c3", 3, 0, 0, "3.0.0"},
      {"V1.2.3", 0, 2, 3, "0.2.3"},  // only a lower-case 'v' is skipped
      {"ncsi1.2.3", 0, 2, 3, "0.2.3"},
      // Pieces convert as atoi does.
      {"12ab.3x.4", 12, 3, 4, "12.3.4"},
      {"12abc.3x.4", 3, 4, 0, "3.4.0"},  // the 'c' of "abc" moves the start
      {"1.2.3 ", 0, 0, 0, "0.0.0"},      // a trailing space starts the scan at the end
      {"+4.\t5.\t6", 4, 5, 6, "4.5.6"},
      {"+4. 5.6", 5, 6, 0, "5.6.0"},  // the scan starts after the first space
      {"-1.0.0", 0xFFFFFFFF, 0, 0, "-1.0.0"},
      {"2147483647.4294967296.-2147483649", 2147483647u, 2147483647u, 0x80000000u,
       "2147483647.2147483647.-2147483648"},
      {"1.2.3000000000", 1, 2, 2147483647u, "1.2.2147483647"},
      {"x.y.z", 0, 0, 0, "0.0.0"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    FirmwareVersion version = Parsed(c.text);
    EXPECT_EQ(c.major, version.major);
    EXPECT_EQ(c.minor, version.minor);
    EXPECT_EQ(c.build, version.build);
    EXPECT_TRUE(version.hasBuild);
    EXPECT_STREQ(c.printed, version.text);  // Parse leaves the printed form behind
    EXPECT_STREQ(c.printed, version.Format());
  }
}

TEST(FirmwareVersionTest, MissingPiecesKeepTheirNumbers) {
  FirmwareVersion version = Parsed("7.8.9");
  version.Parse("5", true, nullptr);
  EXPECT_STREQ("5.8.9", version.text);
  version.Parse("", true, nullptr);  // nothing at all changes
  version.Parse(nullptr, false, nullptr);
  EXPECT_TRUE(version.hasBuild);
  EXPECT_STREQ("5.8.9", version.text);
  version.Parse("1.2.3", false, nullptr);  // without build: the third piece is not read
  EXPECT_EQ(9u, version.build);
  EXPECT_FALSE(version.hasBuild);
  EXPECT_STREQ("1.2", version.text);
}

TEST(FirmwareVersionTest, LongTextsAreReadUpTo255Characters) {
  // A text of 255 characters is read whole; the 256th character and later are not.
  const std::string base = "1.2." + std::string(250, '0');
  ASSERT_EQ(254u, base.size());
  EXPECT_STREQ("1.2.5", Parsed((base + "5").c_str()).text);
  EXPECT_STREQ("1.2.3", Parsed((base + "35").c_str()).text);
  std::string text = std::string(300, ' ') + "v6.7.8";
  EXPECT_STREQ("0.0.0", Parsed(text.c_str()).text);
}

TEST(FirmwareVersionTest, ComparesNumbersUnsigned) {
  const struct {
    const char* left;
    bool left_build;
    const char* right;
    bool right_build;
    int order;
  } kCases[] = {
      {"4.0.520", true, "4.0.555", true, -1},
      {"4.0.555", true, "4.0.520", true, 1},
      {"4.1.0", true, "4.0.999", true, 1},
      {"5.0.0", true, "4.9.9", true, 1},
      {"4.9.9", true, "5.0.0", true, -1},
      {"4.0.555", true, "4.0.555", true, 0},
      {"4.10.0", true, "4.9.0", true, 1},
      {"10.0.0", true, "9.99.99", true, 1},
      // Only the left value's hasBuild decides whether builds count.
      {"4.0.7", false, "4.0.9", true, 0},
      {"4.0.9", false, "4.0.7", true, 0},
      {"4.0.9", true, "4.0.7", false, 1},
      {"4.0.7", true, "4.0.9", false, -1},
      {"4.0.7", false, "4.1.7", false, -1},
      // Negative pieces keep their bit pattern and compare above everything.
      {"-1.0.0", true, "2147483647.0.0", true, 1},
      {"0.-5.0", true, "0.4000000000.0", true, 1},
      {"1.2.-1", true, "1.2.0", true, 1},
      {"1.2.0", true, "1.2.-1", true, -1},
      {"0.0", false, "0.0.0", true, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.left) + " vs " + c.right);
    FirmwareVersion left = Parsed(c.left);
    left.hasBuild = c.left_build;
    FirmwareVersion right = Parsed(c.right);
    right.hasBuild = c.right_build;
    EXPECT_EQ(c.order, left.Compare(right));
    EXPECT_EQ(c.order == 0, left == right);
    EXPECT_EQ(c.order != 0, left != right);
    EXPECT_EQ(c.order < 0, left < right);
  }
}

TEST(FirmwareVersionTest, CopyConstructionCopiesTheText) {
  FirmwareVersion source = Parsed("3.4.5");
  const FirmwareVersion copy(source);
  EXPECT_STREQ("3.4.5", copy.text);
  EXPECT_EQ(5u, copy.build);
  EXPECT_TRUE(copy.hasBuild);
}

TEST(FirmwareVersionTest, AssignmentAlwaysTakesTheValue) {
  const struct {
    const char* target;
    bool target_build;
    const char* source;
    bool source_build;
    const char* printed;  // after assignment and Format
  } kCases[] = {
      {"", false, "0.0.7", true, "0.0.7"},  // equal when compared from the cleared side
      {"4.0", false, "4.0.555", true, "4.0.555"},
      {"4.0.555", true, "4.0", false, "4.0"},
      {"4.0.555", true, "4.0.555", true, "4.0.555"},
      {"1.2.3", true, "9.8.7", true, "9.8.7"},
      {"9.8.7", true, "", false, "0.0"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.target) + " = " + c.source);
    FirmwareVersion target = Parsed(c.target, c.target_build);
    const FirmwareVersion source = Parsed(c.source, c.source_build);
    target = source;
    EXPECT_EQ(source.major, target.major);
    EXPECT_EQ(source.minor, target.minor);
    EXPECT_EQ(source.build, target.build);
    EXPECT_EQ(source.hasBuild, target.hasBuild);
    EXPECT_STREQ("", target.text);  // the cached form is dropped, never stale
    EXPECT_STREQ(c.printed, target.Format());
  }
}

TEST(FirmwareVersionTest, SelfAssignmentKeepsEverything) {
  FirmwareVersion version = Parsed("1.2.3");
  FirmwareVersion& same = version;
  version = same;
  EXPECT_STREQ("1.2.3", version.text);
}

class FirmwareVersionTraceTest : public CaptureTest {};

TEST_F(FirmwareVersionTraceTest, ParseTracesTheResultWhenDebugging) {
  {
    UserInterface ui(log_, 121, 65, console_, nullptr);
    ui.WriteText("");  // the trace channel writes only into an open log
    FirmwareVersion version;
    version.Parse("ROM v4.0.5%s", true, &ui);  // no trace without debug
    ui.SetModes(false, true, false);
    version.Parse("ROM v4.0.5%s", true, &ui);
    version.Parse("4.1", false, &ui);
  }
  EXPECT_EQ("Parsed version to be 4.0.5 \nParsed version to be 4.1 \n", Log());
}

}  // namespace
