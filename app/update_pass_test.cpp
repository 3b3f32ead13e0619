#include "app/update_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/modes.h"
#include "app/report_modes.h"
#include "app/startup.h"
#include "tests/support/capture.h"
#include "tests/support/fake_flash_tool.h"

namespace {

std::string Flash(const std::string& location) {
  return "zadiroz -flashsupport -i " + location + " -a p3p_rom.bin";
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

constexpr char kCancelled[] = "\nFirmware upgrade cancelled by User \n";
constexpr char kWithErrors[] = "\nNIC firmware update completed with errors. \n";
constexpr char kRecommended[] = "\nNIC firmware update is recommended.\n";
constexpr char kNotRecommended[] = "\nNIC firmware update is not recommended.\n";
constexpr char kComplete[] = "\nNIC firmware update complete.\n";
constexpr char kNothing[] = "\nNo firmware is selected for update.\n";
constexpr char kWaiting[] = "The Firmware upgrade will take several minutes. Please be patient.\n";

// A whole update pass over an Inventory that discovery has already built.
class UpdatePassTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    input_ = OpenScratchFile(dir_);
  }
  void TearDown() override {
    program_.ui.reset();
    if (input_ != nullptr) fclose(input_);
    CaptureTest::TearDown();
  }

  // `installed` versions against the package's 4.0.534, at locations 5:0.0, 5:0.1, ...
  void Prepare(const std::vector<const char*>& installed, uint32_t flags,
               const std::string& typed) {
    fwrite(typed.data(), 1, typed.size(), input_);
    rewind(input_);
    program_.ui = std::make_unique<UserInterface>(log_, 121, 65, console_, input_);
    program_.ui->SetModes((flags & Bit(RunFlag::Silent)) != 0, false,
                          (flags & Bit(RunFlag::AssumeDefaults)) != 0);
    program_.flags.Assign(flags);
    auto runner = std::make_unique<FakeFlashTool>();
    runner_ = runner.get();
    program_.runner = std::move(runner);
    program_.package.firmware_file = "p3p_rom.bin";
    program_.discovery_done = true;  // the Inventory below stands for its result
    for (size_t i = 0; i < installed.size(); ++i) {
      NicEntry entry;
      entry.device_id = "NIC-" + std::to_string(i);
      entry.location = "5:0." + std::to_string(i);
      entry.mac = "02-11-22-33-44-5" + std::to_string(i);
      entry.product_id = "P3P Q4T";
      entry.installed.Parse(installed[i], true);
      entry.available.Parse("4.0.534", true);
      entry.flags = kNicSupported;
      program_.inventory.Append(entry);
    }
    CreateFirmwareComponents(program_);
  }

  FILE* input_ = nullptr;
  Program program_;
  FakeFlashTool* runner_ = nullptr;
};

TEST_F(UpdatePassTest, OutcomeTable) {
  const uint32_t kSilent = Bit(RunFlag::Silent);
  const uint32_t kCheck = Bit(RunFlag::CheckOnly);
  struct Case {
    const char* name;
    std::vector<const char*> installed;
    uint32_t flags;
    const char* typed;
    std::map<std::string, uint32_t> exit_codes;
    int code;
    std::vector<std::string> flashed;
    const char* closing;
  } cases[] = {
      {"yes then quit", {"4.0.520", "4.0.520"}, 0, "y\nq\n", {}, 3, {}, kCancelled},
      {"quit first", {"4.0.520", "4.0.520"}, 0, "q\ny\n", {}, 3, {}, kCancelled},
      {"c then yes", {"4.0.520", "4.0.520"}, 0, "c\ny\n", {}, 2, {Flash("5:0.1")}, kComplete},
      {"no twice", {"4.0.520", "4.0.520"}, 0, "n\nn\n", {}, 3, {}, kNothing},
      {"one flash fails",
       {"4.0.520", "4.0.520", "4.0.520"},
       0,
       "y\ny\ny\n",
       {{"5:0.0", 7}},
       0,
       {Flash("5:0.0"), Flash("5:0.1"), Flash("5:0.2")},
       kWithErrors},
      {"closed input", {"4.0.520"}, 0, "", {}, 3, {}, kCancelled},
      {"-n older and newer", {"4.0.520", "5.0.0"}, kCheck, "", {}, 4, {}, kRecommended},
      {"-n all same", {"4.0.534", "4.0.534"}, kCheck, "", {}, 5, {}, kNotRecommended},
      {"-n same and newer", {"4.0.534", "4.1.0"}, kCheck, "", {}, 6, {}, kNotRecommended},
      {"-s all same", {"4.0.534", "4.0.534"}, kSilent, "", {}, 3, {}, kNothing},
      {"-s older and newer", {"4.0.520", "4.1.0"}, kSilent, "", {}, 2, {Flash("5:0.0")}, kComplete},
      {"-s -f",
       {"4.0.534", "4.1.0"},
       kSilent | Bit(RunFlag::Force),
       "",
       {},
       2,
       {Flash("5:0.0"), Flash("5:0.1")},
       kComplete},
      {"-y same", {"4.0.534"}, Bit(RunFlag::AssumeDefaults), "", {}, 3, {}, kNothing},
      {"-y -e same",
       {"4.0.534"},
       Bit(RunFlag::AssumeDefaults) | Bit(RunFlag::Rewrite),
       "",
       {},
       2,
       {Flash("5:0.0")},
       kComplete},
      {"-y -g newer",
       {"4.1.0"},
       Bit(RunFlag::AssumeDefaults) | Bit(RunFlag::Downgrade),
       "",
       {},
       2,
       {Flash("5:0.0")},
       kComplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    program_ = Program();
    SetUp();
    Prepare(c.installed, c.flags, c.typed);
    for (const auto& entry : c.exit_codes) runner_->exit_codes_by_location[entry.first] = entry.second;
    EXPECT_EQ(UpdatePass(program_), c.code);
    EXPECT_EQ(runner_->commands, c.flashed);
    const std::string console = Console();
    if (c.flags & kSilent) {
      EXPECT_EQ(console, "");
    } else {
      EXPECT_TRUE(EndsWith(console, c.closing)) << console;
    }
  }
}

TEST_F(UpdatePassTest, InteractiveTranscript) {
  Prepare({"4.0.520", "4.0.534"}, 0, "y\n\n");
  EXPECT_EQ(UpdatePass(program_), 2);
  EXPECT_EQ(Console(),
            "Found P3P Q4T MAC: 02-11-22-33-44-50 (v4.0.520)\n"
            "Update firmware on 'NIC-0' (5:0.0) : \n"
            "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):"
            "Found P3P Q4T MAC: 02-11-22-33-44-51 (v4.0.534)\n"
            "*** WARNING *** - Installed firmware is the same version as selected firmware\n"
            "Update firmware on 'NIC-1' (5:0.1) : \n"
            "From ROM 4.0.534 to 4.0.534?  y/n/q/c (n):" +
                std::string(kWaiting) +
                "Selecting P3P Q4T MAC: 02-11-22-33-44-50 \n"
                "MAC 02-11-22-33-44-50 upgrade SUCCESS!\n" +
                kComplete);
}

TEST_F(UpdatePassTest, WaitingNoticeOnceForTwoFlashesAndSkipActionLeftAlone) {
  Prepare({"4.0.520", "4.0.520", "4.0.520"}, Bit(RunFlag::AssumeDefaults), "");
  program_.inventory.at(1).action = "skip";
  EXPECT_EQ(UpdatePass(program_), 2);
  EXPECT_EQ(runner_->commands, (std::vector<std::string>{Flash("5:0.0"), Flash("5:0.2")}));
  const std::string console = Console();
  EXPECT_EQ(console.find(kWaiting), console.find("Found P3P Q4T MAC: 02-11-22-33-44-52") +
                                        std::string("Found P3P Q4T MAC: 02-11-22-33-44-52 "
                                                    "(v4.0.520)\n")
                                            .size());
  EXPECT_EQ(console.find(kWaiting, console.find(kWaiting) + 1), std::string::npos);
  EXPECT_EQ(console.find("02-11-22-33-44-51 \n"), std::string::npos);  // no Selecting line
}

TEST_F(UpdatePassTest, EmptyInventoryEndsQuietlyWithZero) {
  Prepare({}, 0, "y\n");
  EXPECT_EQ(CountUpdateCandidates(program_), -1);
  EXPECT_EQ(UpdatePass(program_), 0);
  EXPECT_EQ(Console(), "");
}

constexpr char kWriteInProgress[] =
    "\nInterrupt received: a firmware write is in progress. The run will stop after it.\n";

std::string Success(char n) {
  return std::string("MAC 02-11-22-33-44-5") + n + " upgrade SUCCESS!\n";
}

// An interrupt during a flash: that flash ends and is reported, no other
// starts, and the adapters that would have been flashed are named.
TEST_F(UpdatePassTest, InterruptDuringAFlashStopsBeforeTheNextAdapter) {
  constexpr char kLeft[] = "Run stopped by the interrupt. Adapters left as they were: ";
  const uint32_t kYes = Bit(RunFlag::AssumeDefaults);
  struct Case {
    const char* name;
    std::vector<const char*> installed;  // 4.1.0 is left alone under -y
    std::vector<std::string> actions;
    std::string interrupted;  // the location whose flash an interrupt reaches
    uint32_t exit_code;       // of that flash
    int code;
    std::vector<std::string> flashed;
    std::string tail;  // the console from that flash's result on
  } cases[] = {
      {"first of three",
       {"4.0.520", "4.0.520", "4.0.520"},
       {},
       "5:0.0",
       0,
       0,
       {Flash("5:0.0")},
       Success('0') + kLeft + "02-11-22-33-44-51 (5:0.1), 02-11-22-33-44-52 (5:0.2)\n" +
           kWithErrors},
      {"failing flash",
       {"4.0.520", "4.0.520"},
       {},
       "5:0.0",
       7,
       0,
       {Flash("5:0.0")},
       "Command to upgrade firmware failed with internal error code 7\n\tCommand: " +
           Flash("5:0.0") + "\n" + kLeft + "02-11-22-33-44-51 (5:0.1)\n" + kWithErrors},
      {"only marked ones are left",
       {"4.0.520", "4.1.0", "4.0.520", "4.0.520"},
       {"", "", "skip", ""},
       "5:0.0",
       0,
       0,
       {Flash("5:0.0")},
       Success('0') + kLeft + "02-11-22-33-44-53 (5:0.3)\n" + kWithErrors},
      {"none left after it",
       {"4.0.520", "4.0.520", "4.1.0"},
       {},
       "5:0.1",
       0,
       2,
       {Flash("5:0.0"), Flash("5:0.1")},
       Success('1') + kComplete},
      {"the last flash",
       {"4.0.520", "4.0.520"},
       {},
       "5:0.1",
       0,
       2,
       {Flash("5:0.0"), Flash("5:0.1")},
       Success('1') + kComplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    program_ = Program();
    SetUp();
    Prepare(c.installed, kYes, "");
    for (size_t i = 0; i < c.actions.size(); ++i) program_.inventory.at(i).action = c.actions[i];
    runner_->interrupted_during = {" -i " + c.interrupted + " "};
    runner_->exit_codes_by_location[c.interrupted] = c.exit_code;
    EXPECT_EQ(UpdatePass(program_), c.code);
    EXPECT_EQ(runner_->commands, c.flashed);
    EXPECT_EQ(runner_->shielded, c.flashed);  // every flash, and nothing else
    // Said once, while that flash ran; its result follows.
    const std::string said = std::string(kWriteInProgress) + c.tail;
    const std::string console = Console();
    EXPECT_EQ(Count(console, kWriteInProgress), 1u);
    EXPECT_TRUE(EndsWith(console, said)) << console;
    EXPECT_TRUE(EndsWith(Log(), said)) << Log();
  }
}

// -u: the tool flashes the adapters of the report itself, in one call: that
// call is shielded as well, and its result stands.
TEST_F(UpdatePassTest, UpdateFromReportIsAShieldedWrite) {
  Prepare({}, 0, "");
  program_.report_path = "report.xml";
  const std::string command = "zadiroz -flashsupport -u p3p_rom.bin report.xml tempNicList.xml -p3";
  for (uint32_t tool_code : {0u, 7u}) {
    SCOPED_TRACE(tool_code);
    runner_->interrupted_during = {" -u "};
    runner_->exit_code_for_all = tool_code;
    runner_->shielded.clear();
    EXPECT_EQ(RunUpdateCommand(program_), tool_code == 0 ? 5 : 7);
    EXPECT_EQ(runner_->shielded, std::vector<std::string>{command});
    EXPECT_TRUE(program_.flags.Has(RunFlag::Interrupted));
  }
  EXPECT_EQ(Console(), std::string(kWriteInProgress) + kWriteInProgress);
}

// A component that answers from a script and records what it was asked.
class ScriptedComponent : public Firmware {
 public:
  ScriptedComponent(Program& program, std::string name, std::vector<RunFlag> answers,
                    std::vector<std::string>* calls)
      : program_(program), name_(std::move(name)), answers_(std::move(answers)), calls_(calls) {}
  void Select() override {
    calls_->push_back(name_ + std::to_string(program_.current_device_index));
    RunFlag answer = answers_.at(static_cast<size_t>(program_.current_device_index));
    if (answer != RunFlag::Debug) program_.flags.Set(answer);
  }
  std::ostream& Describe(std::ostream& out) override { return out; }
  int32_t Confirm() override { return 0; }
  void Apply() override { calls_->push_back("apply-" + name_); }
  bool Pending() override { return false; }

 private:
  Program& program_;
  std::string name_;
  std::vector<RunFlag> answers_;  // Debug: a plain answer
  std::vector<std::string>* calls_;
};

TEST_F(UpdatePassTest, ContinueSkipsTheAdaptersOtherComponents) {
  Prepare({"4.0.520", "4.0.520", "4.0.520"}, 0, "");
  std::vector<std::string> calls;
  program_.firmware_components.clear();
  program_.firmware_components.push_back(std::make_unique<ScriptedComponent>(
      program_, "a",
      std::vector<RunFlag>{RunFlag::SkipRestOfDevice, RunFlag::Debug, RunFlag::UserQuit}, &calls));
  program_.firmware_components.push_back(std::make_unique<ScriptedComponent>(
      program_, "b", std::vector<RunFlag>{RunFlag::Debug, RunFlag::Debug, RunFlag::Debug}, &calls));
  program_.component_count = 2;
  EXPECT_EQ(SelectionLoop(program_, 3), 3);
  EXPECT_EQ(calls, (std::vector<std::string>{"a0", "a1", "b1", "a2"}));
  EXPECT_FALSE(program_.flags.Has(RunFlag::SkipRestOfDevice));
  EXPECT_EQ(Console(), kCancelled);
  calls.clear();
  EXPECT_EQ(ApplyLoop(program_, 2), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"apply-a", "apply-b", "apply-a", "apply-b"}));
}

TEST_F(UpdatePassTest, SummarizeOutcomeRules) {
  const uint32_t failed = Bit(RunFlag::FlashFailed), done = Bit(RunFlag::FlashDone),
                 check = Bit(RunFlag::CheckOnly), older = Bit(RunFlag::UpdateRecommended),
                 newer = Bit(RunFlag::NewerInstalledSeen), same = Bit(RunFlag::SameVersionSeen);
  struct Case {
    uint32_t flags;
    int code;
    const char* message;
  } cases[] = {
      {failed | done, 0, kWithErrors},
      {failed | check | older, 0, kWithErrors},
      {check | older | newer, 4, kRecommended},
      {check | same, 5, kNotRecommended},
      {check, 5, kNotRecommended},
      {check | same | newer, 6, kNotRecommended},
      {check | done, 5, kNotRecommended},
      {done, 2, kComplete},
      {done | newer, 2, kComplete},
      {0, 3, kNothing},
      {older, 3, kNothing},
  };
  Prepare({}, 0, "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    fclose(console_);
    console_ = OpenScratchFile(dir_);
    UserInterface ui((dir_ / "summary.log").string(), 121, 65, console_, input_);
    EXPECT_EQ(SummarizeOutcome(ui, RunFlags(c.flags)), c.code);
    EXPECT_EQ(Console(), c.message);
  }
}

}  // namespace
