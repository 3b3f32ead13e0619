// End-to-end tests of the update pass and the start-up instance check: the
// real executable against the simulated flash tool, its console, its log and
// the calls the tool received.
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/package_fixture.h"
#include "tests/support/e2e_helpers.h"

namespace {

namespace fs = std::filesystem;

// One adapter of the scenario: a supported P3P Q4T at bus:0.0.
struct Nic {
  std::string bus;
  std::string installed;
  std::string action = "update";
};

constexpr char kList[] = "-flashsupport -d p3p_rom.bin tempNicList.xml -p3";
constexpr char kToolRunning[] =
    "Error: Either another RozAdo tool is already running, or your last session did not close "
    "gracefully. Required to clear the settings!\n";
constexpr char kWithErrors[] = "\nNIC firmware update completed with errors. \n";
constexpr char kNotRecommended[] = "\nNIC firmware update is not recommended.\n";

std::string Flash(const std::string& bus) {
  return "-flashsupport -i " + bus + ":0.0 -a p3p_rom.bin";
}

std::string Mac(const std::string& bus) { return "02-5E-ED-AA-00-0" + bus; }

class UpdateE2eTest : public PackageFixture {
 protected:
  void SetUp() override {
    PackageFixture::SetUp();
    CopyExample("p3p_rom.bin");
  }

  // The scenario the flash tool plays: `nics` in order, the package at 4.0.534.
  void Scenario(const std::vector<Nic>& nics, const std::string& operations = "") {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<zadiroz_scenario flash_version=\"4.0.534\">\n";
    for (const Nic& nic : nics) {
      xml += "  <adapter device_id=\"NIC " + nic.bus +
             "\" venid=\"3F1D\" devid=\"0C4A\" subvenid=\"6B2E\" subdevid=\"2A7D\""
             " macaddress=\"" +
             Mac(nic.bus) + "\" product_id=\"P3P Q4T\" busnumber=\"" + nic.bus +
             "\" devicenumber=\"0\" funcnumber=\"0\" slotnumber=\"1\" firmware_id=\"" +
             nic.installed + "\" version=\"" + nic.installed + "\" action=\"" + nic.action +
             "\"/>\n";
    }
    xml += operations + "</zadiroz_scenario>\n";
    ASSERT_TRUE(WriteFileBytes(PackagePath("scenario.xml"), xml));
  }

  ProgramRun RunTool(const std::vector<std::string>& args, const std::string& input = "",
                     bool close_input = false, unsigned input_delay_ms = 0) {
    return Run(args, input, close_input, {{"ZADIROZ_SCENARIO", "scenario.xml"}}, input_delay_ms);
  }

  // The calls the flash tool received since the last look, one per line.
  std::vector<std::string> Calls() {
    const std::string path = PackagePath("zadiroz-calls.txt");
    std::vector<std::string> calls = ReadLines(path);
    fs::remove(path);
    return calls;
  }

  void MakeLock() { ASSERT_TRUE(WriteFileBytes(LockPath(), "locked")); }

  void TearDown() override { fs::remove_all(LockPath()); }
};

TEST_F(UpdateE2eTest, YesThenQuitFlashesNothing) {
  Scenario({{"5", "4.0.520"}, {"6", "4.0.520"}});
  ProgramRun run = RunTool({}, "y\nq\n");
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList}));
  const std::string question =
      "Found P3P Q4T MAC: 02-5E-ED-AA-00-05 (v4.0.520)\n"
      "Update firmware on 'NIC 5' (5:0.0) : \n"
      "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):";
  EXPECT_EQ(run.output, Native(Banner() + question +
                               "Found P3P Q4T MAC: 02-5E-ED-AA-00-06 (v4.0.520)\n"
                               "Update firmware on 'NIC 6' (6:0.0) : \n"
                               "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):" +
                               kCancelled));
  const std::string log = NewLog();
  EXPECT_NE(log.find(Native(question + "y\n")), std::string::npos) << log;
  EXPECT_TRUE(EndsWith(
      log, Native(std::string(kCancelled) + "Upgrade completed: <date>\n\nExiting with code 3\n")))
      << log;
}

TEST_F(UpdateE2eTest, ContinueThenYesFlashesTheSecond) {
  Scenario({{"5", "4.0.520"}, {"6", "4.0.520"}});
  ProgramRun run = RunTool({}, "C\nyes\n");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList, Flash("6")}));
  EXPECT_TRUE(EndsWith(run.output, Native(std::string(kWaiting) +
                                          "Selecting P3P Q4T MAC: 02-5E-ED-AA-00-06 \n"
                                          "MAC 02-5E-ED-AA-00-06 upgrade SUCCESS!\n" +
                                          kComplete)))
      << run.output;
  EXPECT_NE(NewLog().find(Native("zadiroz -flashsupport -i 6:0.0 -a p3p_rom.bin\n")),
            std::string::npos);

  // The flash took: a check afterwards finds the second adapter up to date.
  ProgramRun check = RunTool({"-n"});
  EXPECT_EQ(check.exit_code, 4);
  EXPECT_NE(check.output.find(Native("Found P3P Q4T MAC: 02-5E-ED-AA-00-06 (v4.0.534)\n")),
            std::string::npos);
}

TEST_F(UpdateE2eTest, OneFailedFlashStillTriesEveryAdapter) {
  Scenario({{"5", "4.0.520"}, {"6", "4.0.520"}, {"7", "4.0.520"}},
           "<operation name=\"flash\" location=\"6:0.0\" exit=\"7\"/>\n");
  ProgramRun run = RunTool({}, "y\n\nYes\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList, Flash("5"), Flash("6"), Flash("7")}));
  EXPECT_EQ(Count(run.output, Native(kWaiting)), 1u);
  EXPECT_NE(run.output.find(Native("Selecting P3P Q4T MAC: 02-5E-ED-AA-00-06 \n"
                                   "Command to upgrade firmware failed with internal error code 7\n"
                                   "\tCommand: zadiroz -flashsupport -i 6:0.0 -a p3p_rom.bin\n"
                                   "Selecting P3P Q4T MAC: 02-5E-ED-AA-00-07 \n"
                                   "MAC 02-5E-ED-AA-00-07 upgrade SUCCESS!\n")),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(EndsWith(run.output, Native(kWithErrors)));
  // The simulator's own output never reaches the console.
  EXPECT_EQ(run.output.find("zadiroz:"), std::string::npos);
}

namespace {

struct CheckOnlyCase {
  const char* name;
  std::vector<Nic> nics;
  int code;
  const char* closing;
};
void PrintTo(const CheckOnlyCase& c, std::ostream* out) { PrintCaseName(c, out); }

const CheckOnlyCase kCheckOnlyCases[] = {
    {"older", {{"5", "4.0.520"}, {"6", "4.1.0"}}, 4, kRecommended},
    {"same", {{"5", "4.0.534"}, {"6", "4.0.534"}}, 5, kNotRecommended},
    {"newer", {{"5", "4.0.534"}, {"6", "5.0.1"}}, 6, kNotRecommended},
};

class CheckOnlyTest : public UpdateE2eTest, public ::testing::WithParamInterface<CheckOnlyCase> {};

// The command-line policies that answer without asking: the options, the
// installed versions of the two adapters, the exit code and the flashes.
struct PolicyCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<Nic> nics;
  int code;
  std::vector<std::string> flashes;
};
void PrintTo(const PolicyCase& c, std::ostream* out) { PrintCaseName(c, out); }

std::vector<PolicyCase> PolicyCases() {
  return {
      {"silent, both current", {"-s"}, {{"5", "4.0.534"}, {"6", "4.0.534"}}, 3, {}},
      {"silent, older and newer", {"-s"}, {{"5", "4.0.520"}, {"6", "4.1.0"}}, 2, {Flash("5")}},
      {"silent forced", {"-s", "-f"}, {{"5", "4.0.534"}, {"6", "4.1.0"}}, 2,
       {Flash("5"), Flash("6")}},
      {"defaults, same and newer", {"-y"}, {{"5", "4.0.534"}, {"6", "4.1.0"}}, 3, {}},
      {"defaults, both older", {"-y"}, {{"5", "4.0.520"}, {"6", "4.0.520"}}, 2,
       {Flash("5"), Flash("6")}},
      {"defaults with rewrite", {"-y", "-e"}, {{"5", "4.0.534"}, {"6", "4.1.0"}}, 2, {Flash("5")}},
      {"defaults with downgrade", {"-y", "-g"}, {{"5", "4.0.534"}, {"6", "4.1.0"}}, 2,
       {Flash("6")}},
      {"defaults forced", {"-y", "-f"}, {{"5", "4.0.534"}, {"6", "4.1.0"}}, 2,
       {Flash("5"), Flash("6")}},
  };
}

class PolicyTest : public UpdateE2eTest, public ::testing::WithParamInterface<PolicyCase> {};

}  // namespace

TEST_P(CheckOnlyTest, Recommends) {
  const CheckOnlyCase& c = GetParam();
  Scenario(c.nics);
  ProgramRun run = RunTool({"-n"}, "y\ny\n");
  EXPECT_EQ(run.exit_code, c.code);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList}));
  EXPECT_EQ(run.output,
            Native(Banner() + "Found P3P Q4T MAC: 02-5E-ED-AA-00-05 (v" + c.nics[0].installed +
                   ")\nFound P3P Q4T MAC: 02-5E-ED-AA-00-06 (v" + c.nics[1].installed + ")\n" +
                   c.closing));
}

INSTANTIATE_TEST_SUITE_P(Installed, CheckOnlyTest, ::testing::ValuesIn(kCheckOnlyCases), CaseName());

TEST_P(PolicyTest, AnswersWithoutAsking) {
  const PolicyCase& c = GetParam();
  fs::remove(PackagePath("zadiroz-state.txt"));
  Scenario(c.nics);
  const size_t log_before = NewLog().size();
  ProgramRun run = RunTool(c.args, "q\nq\n");
  EXPECT_EQ(run.exit_code, c.code);
  std::vector<std::string> calls{kList};
  calls.insert(calls.end(), c.flashes.begin(), c.flashes.end());
  EXPECT_EQ(Calls(), calls);
  const std::string closing = c.code == 2 ? kComplete : kNothing;
  const std::string log = NewLog().substr(log_before);
  EXPECT_EQ(log.find("y/n/q/c"), std::string::npos) << log;  // never asked
  EXPECT_TRUE(EndsWith(log, Native(closing + "Upgrade completed: <date>\n\nExiting with code " +
                                   std::to_string(c.code) + "\n")))
      << log;
  if (c.args[0] == "-s") {
    EXPECT_EQ(run.output, "");
  } else {
    EXPECT_TRUE(EndsWith(run.output, Native(closing))) << run.output;
    size_t same = 0, newer = 0;
    for (const Nic& nic : c.nics) {
      same += nic.installed == "4.0.534";
      newer += nic.installed == "4.1.0";
    }
    EXPECT_EQ(Count(run.output, "*** WARNING *** - Installed firmware is the same version"),
              same);
    EXPECT_EQ(Count(run.output, "*** WARNING *** - Installed firmware is more recent"), newer);
    EXPECT_EQ(Count(run.output, Native(kWaiting)), c.flashes.empty() ? 0u : 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Policy, PolicyTest, ::testing::ValuesIn(PolicyCases()), CaseName());

TEST_F(UpdateE2eTest, ClosedInputEndsAsAQuit) {
  Scenario({{"5", "4.0.520"}, {"6", "4.0.520"}});
  ProgramRun run = RunTool({}, "", true);
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList}));
  EXPECT_TRUE(EndsWith(run.output, Native("From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):"
                                          "Unknown input problem!\nQuit...\n" +
                                          std::string(kCancelled))))
      << run.output;
  EXPECT_EQ(Count(run.output, "Unknown input problem!"), 1u);
}

TEST_F(UpdateE2eTest, SkipActionIsNeverFlashed) {
  Scenario({{"5", "4.0.520", "skip"}, {"6", "4.0.520"}});
  ProgramRun run = RunTool({}, "y\ny\n");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList, Flash("6")}));
  EXPECT_EQ(run.output.find("Selecting P3P Q4T MAC: 02-5E-ED-AA-00-05"), std::string::npos);
  EXPECT_TRUE(EndsWith(run.output, Native(kComplete)));
}

TEST_F(UpdateE2eTest, NoSupportedAdapterEndsWithZero) {
  Scenario({});
  ProgramRun run = RunTool({}, "y\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList}));
  EXPECT_EQ(run.output, Native(Banner()));
}

TEST_F(UpdateE2eTest, NoLockFileRunsNormally) {
  Scenario({{"5", "4.0.534"}});
  ProgramRun run = RunTool({"-n"});
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_EQ(NewLog().rfind(Native(kChecking + Banner()), 0), 0u) << NewLog();
}

TEST_F(UpdateE2eTest, StaleLockIsClearedAndTheRunGoesOn) {
  Scenario({{"5", "4.0.520"}});
  MakeLock();
  ProgramRun run = RunTool({"-n"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_FALSE(fs::exists(LockPath()));
  EXPECT_EQ(run.output.rfind(Native(Banner()), 0), 0u);  // the warning is in the log only
  EXPECT_EQ(NewLog().rfind(Native(std::string(kChecking) +
                                  "Warning: last session did not close gracefully.  Clearing "
                                  "lock.\n" +
                                  Banner()),
                           0),
            0u)
      << NewLog();
}

TEST_F(UpdateE2eTest, LockThatCannotBeClearedRefusesTheRun) {
  Scenario({{"5", "4.0.520"}});
  fs::create_directories(LockPath());  // a directory cannot be deleted as a file
  ProgramRun run = RunTool({"-n"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(Calls(), std::vector<std::string>{});
  EXPECT_EQ(NewLog(), Native(std::string(kChecking) +
                             "Error: last session did not close gracefully.  Unable to clear "
                             "lock.\n"));
}

// A copy of the simulated flash tool under another name, flashing (asleep)
// in the background while the utility starts.
class BackgroundTool {
 public:
  BackgroundTool(const std::string& scratch, const std::string& name, int sleep_ms)
      : dir_(JoinPath(scratch, "background")) {
    fs::create_directories(dir_);
    const std::string program = JoinPath(dir_, name);
    fs::copy_file(KX_TOOL_FILE, program, fs::copy_options::overwrite_existing);
    WriteFileBytes(JoinPath(dir_, "scenario.xml"),
                   "<zadiroz_scenario><adapter busnumber=\"1\" devicenumber=\"0\" "
                   "funcnumber=\"0\"/><operation name=\"flash\" sleep_ms=\"" +
                       std::to_string(sleep_ms) + "\"/></zadiroz_scenario>");
    ProgramOptions options;
    options.working_directory = dir_;
    options.environment = {{"ZADIROZ_SCENARIO", "scenario.xml"}};
    options.close_input = true;
    thread_ = std::thread([program, options] {
      RunProgramAndWait(program, {"-flashsupport", "-i", "1:0.0", "-a", "x"}, options);
    });
  }
  ~BackgroundTool() { thread_.join(); }

  /// True once the tool has recorded its call, i.e. it runs (and sleeps).
  bool WaitUntilRunning() {
    for (int i = 0; i < 600; ++i) {
      if (!ReadFileBytes(JoinPath(dir_, "zadiroz-calls.txt")).empty()) {
        // The starter restores its environment right after the start.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

 private:
  std::string dir_;
  std::thread thread_;
};

TEST_F(UpdateE2eTest, RunningFlashToolRefusesTheRunSilently) {
  Scenario({{"5", "4.0.520"}});
  for (const char* name : {"vareviv_x86.exe", "ZADIROZ_OLD.exe"}) {
    SCOPED_TRACE(name);
    MakeLock();
    const size_t log_before = NewLog().size();
    BackgroundTool tool(scratch_, name, 3000);
    ASSERT_TRUE(tool.WaitUntilRunning());
    ProgramRun run = RunTool({}, "y\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(fs::exists(LockPath()));
    EXPECT_EQ(Calls(), std::vector<std::string>{});
    EXPECT_EQ(NewLog().substr(log_before), Native(std::string(kChecking) + kToolRunning));
  }
}

TEST_F(UpdateE2eTest, RunningFlashToolWithoutLockIsNoObstacle) {
  // Without a lock file no process is examined: a running tool is no obstacle.
  Scenario({{"5", "4.0.534"}});
  BackgroundTool tool(scratch_, "vareviv_x86.exe", 3000);
  ASSERT_TRUE(tool.WaitUntilRunning());
  ProgramRun run = RunTool({"-n"});
  EXPECT_EQ(run.exit_code, 5);
}

}  // namespace

namespace {

// Two runs at once: the second starts while the first asks (no flash tool
// runs, and no lock of the flash tool is there: only the utility's own run
// lock stands between them), or while the first flashes; or from a session
// with another temporary folder (an administrator's login beside a deployment
// agent), where the flash tool's lock cannot be seen either.
struct TwoRunsCase {
  const char* name;
  bool while_flashing;
  bool own_temp;
};
void PrintTo(const TwoRunsCase& c, std::ostream* out) { PrintCaseName(c, out); }
const TwoRunsCase kTwoRunsCases[] = {{"second while asking", false, false},
                                     {"second while flashing", true, false},
                                     {"second with another temporary folder", true, true}};

class TwoRunsTest : public UpdateE2eTest, public ::testing::WithParamInterface<TwoRunsCase> {};

}  // namespace

// The second refuses at once (log only, nothing on the console, exit code 0),
// the first completes, and each adapter is flashed exactly once.
TEST_P(TwoRunsTest, NeverFlashTheSameAdapterTwice) {
  Scenario({{"5", "4.0.520"}, {"6", "4.0.520"}}, R"(<operation name="flash" sleep_ms="1500"/>)");
  // The first asks, and its answers come after a while (or -y answers alone).
  const std::vector<std::string> first_args =
      GetParam().while_flashing ? std::vector<std::string>{"-y"} : std::vector<std::string>{};
  ProgramRun first;
  std::thread first_thread([&] { first = RunTool(first_args, "y\ny\n", false, 4000); });
  const std::string calls = PackagePath("zadiroz-calls.txt");
  const size_t calls_before_second = GetParam().while_flashing ? 2 : 1;  // a flash, or the list
  for (int waited = 0; waited < 60000 && ReadLines(calls).size() < calls_before_second;
       waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!GetParam().while_flashing) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the list is read: it asks
  }
  const std::string other_temp = JoinPath(scratch_, "other-temp");
  fs::create_directories(other_temp);
  std::map<std::string, std::string> environment = {{"ZADIROZ_SCENARIO", "scenario.xml"}};
  if (GetParam().own_temp) {
    for (const char* name : {"TMPDIR", "TMP", "TEMP"}) environment[name] = other_temp;
  }
  ProgramRun second = Run({"-y"}, "", false, environment);
  first_thread.join();

  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.output, "");
  EXPECT_EQ(first.exit_code, 2);
  EXPECT_TRUE(EndsWith(first.output, Native(kComplete))) << first.output;
  EXPECT_EQ(Calls(), (std::vector<std::string>{kList, Flash("5"), Flash("6")}));
  EXPECT_EQ(Count(NewLog(), Native(kToolRunning)), 1u);
}

INSTANTIATE_TEST_SUITE_P(Runs, TwoRunsTest, ::testing::ValuesIn(kTwoRunsCases), CaseName());
