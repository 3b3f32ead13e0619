// End-to-end tests of the program driver and the command line: the real
// executable in a scratch package directory, its console and its log.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/e2e_helpers.h"
#include "tests/support/package_fixture.h"

namespace {

using CliTest = PackageFixture;

// Every run that finds its package checks for another flash tool first.
const std::string kInstanceCheck = "Checking for any other instance of RozAdo tool!\n";

}  // namespace

TEST_F(CliTest, HelpShowsBannerAndUsageAndLogsNoEndStamp) {
  ProgramRun run = Run({"-h"});
  ASSERT_TRUE(run.started) << run.failure;
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + Usage()));
  EXPECT_EQ(NewLog(), Native(kInstanceCheck + Banner() + Echo("-h ") + "Upgrade began: <date>\n\n" + Usage()));
}

namespace {

struct InvalidCommandLine {
  const char* name;
  std::vector<std::string> args;
};
void PrintTo(const InvalidCommandLine& c, std::ostream* out) { PrintCaseName(c, out); }

const InvalidCommandLine kInvalidCommandLines[] = {
    {"check with check only", {"-c", "-n"}},
    {"defaults with check only", {"-y", "-n"}},
    {"force with rewrite", {"-f", "-e"}},
    {"report with update", {"-d", "r.xml", "-u", "r.xml"}},
    {"unknown option", {"-bogus"}},
    {"report without file", {"-d"}},
};

class InvalidCommandLineTest : public CliTest,
                               public ::testing::WithParamInterface<InvalidCommandLine> {};

}  // namespace

TEST_P(InvalidCommandLineTest, ShowsUsage) {
  ProgramRun run = Run(GetParam().args);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + Usage()));
}

INSTANTIATE_TEST_SUITE_P(Args, InvalidCommandLineTest, ::testing::ValuesIn(kInvalidCommandLines),
                         CaseName());

// "-s" with a partner it excludes: still silent, so all of it goes to the log only.
TEST_F(CliTest, SilentWithAnExcludedPartnerShowsUsageInTheLogOnly) {
  for (const char* partner : {"-y", "-c"}) {
    SCOPED_TRACE(partner);
    ProgramRun run = Run({"-s", partner});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "");
  }
  const std::string log = NewLog();
  EXPECT_EQ(log.find("Upgrade completed"), std::string::npos);
  EXPECT_EQ(log.find("Exiting with code"), std::string::npos);
  EXPECT_NE(log.find(Native(Echo("-s -c ") + "Upgrade began: <date>\n\n" + Usage())),
            std::string::npos);
}

TEST_F(CliTest, SlashOptionIsEchoedWithDash) {
  ProgramRun run = Run({"/s"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");  // silent: the banner goes to the log only
  const std::string log = NewLog();
  EXPECT_EQ(log.rfind(Native(kInstanceCheck + Banner() + Echo("-s ") + "Upgrade began: <date>\n\n"), 0), 0u)
      << log;
  EXPECT_NE(log.find(Native("Upgrade completed: <date>\n\nExiting with code 0\n")),
            std::string::npos)
      << log;
}

TEST_F(CliTest, SilentBeforeHelpKeepsUsageInLogOnly) {
  ProgramRun silent_first = Run({"-s", "-h"});
  EXPECT_EQ(silent_first.exit_code, 0);
  EXPECT_EQ(silent_first.output, "");
  EXPECT_EQ(NewLog(), Native(kInstanceCheck + Banner() + Echo("-s -h ") + "Upgrade began: <date>\n\n" + Usage()));

  ProgramRun help_first = Run({"-h", "-s"});
  EXPECT_EQ(help_first.exit_code, 0);
  EXPECT_EQ(help_first.output, Native(Banner() + Usage()));
}

TEST_F(CliTest, MissingPackageConfigurationStopsBeforeBanner) {
  std::filesystem::remove(JoinPath(package_, "ZOVOREruz.xml"));
  for (const char* arg : {"-h", "-c"}) {
    SCOPED_TRACE(arg);
    const size_t before = ReadFileBytes(log_path_).size();
    ProgramRun run = Run({arg});
    EXPECT_EQ(run.exit_code, 0);
    const std::string message = "Supporting file ZOVOREruz.xml is missing. Cannot proceed.\n";
    EXPECT_EQ(run.output, Native(message));
    EXPECT_EQ(ReadFileBytes(log_path_).substr(before), Native(message));
  }
}

TEST_F(CliTest, TwoRunsAppendToOneLog) {
  Run({"-v", "versions.xml"});
  Run({"-v", "versions.xml"});
  const std::string one_run = kInstanceCheck + Banner() + Echo("-v versions.xml ") +
                              "Upgrade began: <date>\n\n"
                              "Upgrade completed: <date>\n\n"
                              "Exiting with code 0\n";
  EXPECT_EQ(NewLog(), Native(one_run + one_run));
}
