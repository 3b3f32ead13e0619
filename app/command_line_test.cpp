#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os.h"
#include "tests/support/capture.h"
#include "ui/user_interface.h"

namespace {

// The option bits of the table, in its row order.
const uint32_t kRowBits[12] = {0x2,  0x4,   0x8,   0x10,  0x20,  0x40,
                               0x80, 0x100, 0x200, 0x400, 0x800, 0x1000};

// Which options may be given together, written down from the product's option
// list independently of the table in the code. Pairs are listed in one
// direction only; the other direction and "each option with itself" follow.
const std::set<std::pair<uint32_t, uint32_t>>& AllowedPairs() {
  static const std::set<std::pair<uint32_t, uint32_t>> pairs = {
      {0x4, 0x200},                                                     // -d with -s
      {0x8, 0x20},     {0x8, 0x100},   {0x8, 0x200},    {0x8, 0x1000},  // -e
      {0x10, 0x100},   {0x10, 0x200},  {0x10, 0x1000},                  // -f
      {0x20, 0x100},   {0x20, 0x200},  {0x20, 0x1000},                  // -g
      {0x80, 0x200},   {0x80, 0x400},  {0x80, 0x1000},                  // -ql
      {0x100, 0x200},  {0x100, 0x400}, {0x100, 0x1000},                 // restart
      {0x200, 0x400},  {0x200, 0x800},                                  // -s
      {0x400, 0x1000},                                                  // -u with -y
  };
  return pairs;
}

bool Allowed(uint32_t a, uint32_t b) {
  return a == b || AllowedPairs().count({a, b}) != 0 || AllowedPairs().count({b, a}) != 0;
}

TEST(OptionCompatibilityTest, EveryPairMatchesTheOptionList) {
  for (int row = 0; row < 12; ++row) {
    EXPECT_EQ(kRowBits[row], OptionCompatibility[row].bit) << "row " << row;
    for (int column = 0; column < 12; ++column) {
      SCOPED_TRACE(::testing::Message()
                   << std::hex << "0x" << kRowBits[row] << " with 0x" << kRowBits[column]);
      EXPECT_EQ(Allowed(kRowBits[row], kRowBits[column]), OptionCompatibility[row].allow[column]);
      EXPECT_EQ(OptionCompatibility[row].allow[column], OptionCompatibility[column].allow[row]);
    }
  }
}

TEST(ValidateOptionsTest, EverySetOfOptionsWithAndWithoutDebug) {
  // All 4096 sets of the twelve option bits: valid exactly when every pair in
  // the set is allowed; -debug never changes the answer.
  for (uint32_t set = 0; set < (1u << 12); ++set) {
    uint32_t flags = 0;
    bool expected = true;
    for (int i = 0; i < 12; ++i) {
      if ((set & (1u << i)) == 0) continue;
      flags |= kRowBits[i];
      for (int j = 0; j < i; ++j) {
        if ((set & (1u << j)) != 0 && !Allowed(kRowBits[i], kRowBits[j])) expected = false;
      }
    }
    SCOPED_TRACE(::testing::Message() << "flags 0x" << std::hex << flags);
    ASSERT_EQ(expected, ValidateOptions(RunFlags(flags)));
    ASSERT_EQ(expected, ValidateOptions(RunFlags(flags | Bit(RunFlag::Debug))));
  }
}

TEST(ValidateOptionsTest, OutcomeBitsAreNotOptions) {
  EXPECT_TRUE(ValidateOptions(RunFlags(0x2 | 0x4000 | 0x100000 | 0x200000)));
}

// Runs ParseCommandLine on a copy of `args` (the program path is added in
// front) and keeps what it did to the arguments.
struct ParseRun {
  explicit ParseRun(const std::vector<std::string>& args, const std::string& initial_path = "") {
    storage.push_back("KXVaReviv.exe");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<std::vector<char>> buffers;
    for (const std::string& arg : storage) buffers.emplace_back(arg.begin(), arg.end());
    std::vector<char*> argv;
    for (std::vector<char>& buffer : buffers) {
      buffer.push_back('\0');
      argv.push_back(buffer.data());
    }
    argv.push_back(nullptr);
    report_path = initial_path;
    ok = ParseCommandLine(static_cast<int>(storage.size()), argv.data(), flags, &report_path);
    for (size_t i = 0; i < storage.size(); ++i) storage[i] = buffers[i].data();
  }
  std::vector<std::string> storage;  // the arguments after the parse
  RunFlags flags;
  std::string report_path;
  bool ok = false;
};

TEST(ParseCommandLineTest, OptionsAndTheirBits) {
  const std::string name259(259, 'n');
  const std::string name260(260, 'n');
  const struct {
    std::vector<std::string> args;
    bool ok;
    uint32_t flags;
    std::string report_path;
  } kCases[] = {
      {{}, true, 0, ""},
      {{"-c"}, true, 0x2, ""},
      {{"-C"}, true, 0x2, ""},
      {{"-debug"}, true, 0x1, ""},
      {{"-DeBuG"}, true, 0x1, ""},
      {{"-e"}, true, 0x8, ""},
      {{"-Rewrite"}, true, 0x8, ""},
      {{"-f"}, true, 0x10, ""},
      {{"-g"}, true, 0x20, ""},
      {{"-DOWNGRADE"}, true, 0x20, ""},
      {{"-n"}, true, 0x40, ""},
      {{"-QL"}, true, 0x80, ""},
      {{"-s"}, true, 0x200, ""},
      {{"-Y"}, true, 0x1000, ""},
      {{"-d", "report.xml"}, true, 0x4, "report.xml"},
      {{"-D", "report.xml"}, true, 0x4, "report.xml"},
      {{"-u", "in.xml"}, true, 0x400, "in.xml"},
      {{"-V", "ver.txt"}, true, 0x800, "ver.txt"},
      {{"-s", "-s", "-e", "-rewrite"}, true, 0x208, ""},
      {{"-d", "a.xml", "-u", "b.xml", "-s"}, true, 0x604, "b.xml"},
      // Help and unknown arguments stop the parse; earlier bits stay.
      {{"-h"}, false, 0, ""},
      {{"?"}, false, 0, ""},
      {{"-HELP"}, false, 0, ""},
      {{"/?"}, false, 0, ""},
      {{"/h"}, false, 0, ""},
      {{"-s", "-h", "-y"}, false, 0x200, ""},
      {{"-h", "-s"}, false, 0, ""},
      {{"-c", "-x", "-y"}, false, 0x2, ""},
      {{"-e", "-d", "r.xml", "bogus", "-f"}, false, 0xC, "r.xml"},
      {{""}, false, 0, ""},
      {{"-"}, false, 0, ""},
      {{"c"}, false, 0, ""},
      {{"-cs"}, false, 0, ""},
      {{"-c "}, false, 0, ""},
      {{"--c"}, false, 0, ""},
      // "-no_overwrite" anywhere in an argument, letter case kept.
      {{"-no_overwrite"}, true, 0, ""},
      {{"x-no_overwritey", "-y"}, true, 0x1000, ""},
      {{"/no_overwrite"}, true, 0, ""},
      {{"-NO_OVERWRITE"}, false, 0, ""},
      {{"-No_overwrite"}, false, 0, ""},
      // File names: taken as they stand, whatever they look like.
      {{"-d"}, false, 0, ""},
      {{"-c", "-u"}, false, 0x2, ""},
      {{"-d", "-h"}, true, 0x4, "-h"},
      {{"-d", "/tmp/r.xml"}, true, 0x4, "/tmp/r.xml"},
      {{"-u", "100%s.xml"}, true, 0x400, "100%s.xml"},
      {{"-v", name259}, true, 0x800, name259},
      // A name that does not fit 260 characters with its terminator is refused, not cut.
      {{"-v", name260}, false, 0, ""},
      {{"-s", "-d", name260 + "xyz"}, false, 0x200, ""},
      {{"-d", "ok.xml", "-u", name260}, false, 0x4, "ok.xml"},
  };
  for (const auto& c : kCases) {
    std::string line;
    for (const std::string& arg : c.args) line += "[" + arg.substr(0, 20) + "]";
    SCOPED_TRACE(line);
    const ParseRun run(c.args);
    EXPECT_EQ(c.ok, run.ok);
    EXPECT_EQ(c.flags, run.flags.value());
    EXPECT_EQ(c.report_path, run.report_path);
  }
}

TEST(ParseCommandLineTest, SlashIsRewrittenInTheArgumentsItReads) {
  const ParseRun run({"/s", "/Y", "-d", "/tmp/report.xml", "/c", "/?", "/e"});
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(0x1206u, run.flags.value());
  const std::vector<std::string> expected = {"KXVaReviv.exe",   "-s", "-Y", "-d",
                                             "/tmp/report.xml", "-c", "-?", "/e"};
  EXPECT_EQ(expected, run.storage);  // the file name keeps its "/", "/e" is never read
}

TEST(ParseCommandLineTest, FailedFileOptionKeepsTheEarlierName) {
  const ParseRun run({"-d"}, "earlier.xml");
  EXPECT_FALSE(run.ok);
  EXPECT_EQ("earlier.xml", run.report_path);
}

TEST(ParseCommandLineTest, WithoutReportPathTheNameIsStillConsumed) {
  char program[] = "prog";
  char option[] = "-d";
  char file[] = "-c";
  char* argv[] = {program, option, file, nullptr};
  RunFlags flags;
  EXPECT_TRUE(ParseCommandLine(3, argv, flags, nullptr));
  EXPECT_EQ(0x4u, flags.value());
}

TEST(CommandLineTest, ParseThenValidate) {
  const struct {
    std::vector<std::string> args;
    bool valid;
  } kCases[] = {
      {{}, true},
      {{"-c", "-d", "r.xml"}, false},
      {{"-d", "a.xml", "-u", "b.xml", "-s"}, false},
      {{"-d", "a.xml", "-s"}, true},
      {{"-e", "-g"}, true},
      {{"-f", "-e"}, false},
      {{"-f", "-g"}, false},
      {{"-s", "-y"}, false},
      {{"-s", "-c"}, false},
      {{"-n", "-debug"}, true},
      {{"-n", "-y"}, false},
      {{"-ql", "-u", "r.xml", "-y", "-debug"}, true},
      {{"-ql", "-v", "r.xml"}, false},
      {{"-v", "r.xml", "-s", "-DEBUG"}, true},
      {{"-e", "-g", "-y", "-no_overwrite"}, true},
  };
  for (const auto& c : kCases) {
    std::string line;
    for (const std::string& arg : c.args) line += " " + arg;
    SCOPED_TRACE(line);
    const ParseRun run(c.args);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(c.valid, ValidateOptions(run.flags));
  }
}

TEST(UsageNameTest, LastComponentWithoutExtension) {
  const bool slash = os::IsProgramPathSeparator('/');
  const struct {
    const char* path;
    const char* posix;    // where '/' separates too
    const char* windows;  // where only '\' does
  } kCases[] = {
      {"upd.exe", "upd", "upd"},
      {"C:\\tools\\fw\\upd.exe", "upd", "upd"},
      {"C:\\x.y\\prog", "prog", "prog"},
      {"KXVaReviv", "KXVaReviv", "KXVaReviv"},
      {"a.b.exe", "a.b", "a.b"},
      {"upd.", "upd", "upd"},
      {".exe", "", ""},
      {"dir\\", "", ""},
      {"", "", ""},
      {"C:\\bin\\%s%n.exe", "%s%n", "%s%n"},
      {"./build/KXVaReviv", "KXVaReviv", ""},
      {"/usr/local/bin/upd.exe", "upd", "/usr/local/bin/upd"},
      {"tools/v1.2\\upd", "upd", "upd"},
      {"C:\\v1.2/upd", "upd", "v1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(slash ? c.posix : c.windows, UsageName(c.path));
  }
  EXPECT_EQ("", UsageName(nullptr));
}

class ShowUsageTest : public CaptureTest {
 protected:
  static std::string Usage(const std::string& name) {
    return "USAGE: " + name +
           " [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n"
           "With no options, interactively upgrade firmware.\n"
           "-c  Display currently installed firmware information.\n"
           "-d <filename>  Generate XML discovery report to <filename>.\n"
           "-e  Enable re-write if the current firmware is the same, and upgrade if the "
           "current firmware is older.\n"
           "-f  Force all firmware changes to occur.\n"
           "-g  Enable downgrade if the current firmware is newer, and upgrade if the "
           "current firmware is older.\n"
           "-h  Display this help menu.\n"
           "-s  Silently (non-interactively) upgrade firmware. \n"
           "-u <filename>  Read XML discovery report from <filename> and perform firmware "
           "upgrade.\n"
           "-y  Assume default repsonse for all prompts.\n";
  }
};

TEST_F(ShowUsageTest, PrintsToConsoleAndLog) {
  {
    UserInterface ui(log_, 121, 65, console_, nullptr);
    ShowUsage(ui, "C:\\Program Files\\fw\\upd.exe");
  }
  EXPECT_EQ(Usage("upd"), Console());
  EXPECT_EQ(Usage("upd"), Log());
}

TEST_F(ShowUsageTest, SilentGoesToTheLogOnly) {
  {
    UserInterface ui(log_, 121, 65, console_, nullptr);
    ui.SetModes(true, false, false);
    ShowUsage(ui, "KXVaReviv");
  }
  EXPECT_EQ("", Console());
  EXPECT_EQ(Usage("KXVaReviv"), Log());
}

TEST_F(ShowUsageTest, ProgramNameIsNeverAFormat) {
  {
    UserInterface ui(log_, 121, 65, console_, nullptr);
    ShowUsage(ui, "C:\\bin\\100%s%d%n.exe");
  }
  EXPECT_EQ(Usage("100%s%d%n"), Console());
}

}  // namespace
