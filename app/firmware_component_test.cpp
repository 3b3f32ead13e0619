#include "app/firmware_component.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/capture.h"
#include "tests/support/fake_flash_tool.h"
#include "ui/prompt.h"

namespace {

NicEntry Adapter(const char* installed, const char* location = "5:0.0",
                 const char* mac = "02-11-22-33-44-55") {
  NicEntry entry;
  entry.device_id = "NIC-A";
  entry.location = location;
  entry.mac = mac;
  entry.product_id = "P3P Q4T";
  entry.installed.Parse(installed, true);
  entry.available.Parse("4.0.534", true);
  entry.flags = kNicSupported;
  return entry;
}

class ComponentTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    input_ = OpenScratchFile(dir_);
    state_.ui = std::make_unique<UserInterface>(log_, 121, 65, console_, input_);
    auto runner = std::make_unique<FakeFlashTool>();
    runner_ = runner.get();
    state_.runner = std::move(runner);
    state_.package.firmware_file = "p3p_rom.bin";
  }
  void TearDown() override {
    state_.ui.reset();
    if (input_ != nullptr) fclose(input_);
    CaptureTest::TearDown();
  }

  // A fresh UserInterface with the given switches whose standard input holds `typed`.
  void Reset(bool silent, bool assume_defaults, const std::string& typed) {
    state_.ui.reset();
    fclose(input_);
    input_ = OpenScratchFile(dir_);
    fwrite(typed.data(), 1, typed.size(), input_);
    rewind(input_);
    state_.ui = std::make_unique<UserInterface>(log_, 121, 65, console_, input_);
    state_.ui->SetModes(silent, false, assume_defaults);
  }
  void UseOnly(const NicEntry& entry) {
    state_.inventory.Clear();
    state_.inventory.Append(entry);
    state_.current_device_index = 0;
  }
  // What the console received since the last call.
  std::string Console() {
    const std::string all = ReadConsole(console_);
    const std::string text = all.substr(console_mark_);
    console_mark_ = all.size();
    return text;
  }

  FILE* input_ = nullptr;
  RunState state_;
  FakeFlashTool* runner_ = nullptr;
  size_t console_mark_ = 0;
};

constexpr char kSame[] =
    "*** WARNING *** - Installed firmware is the same version as selected firmware\n";
constexpr char kNewer[] =
    "*** WARNING *** - Installed firmware is more recent than selected firmware\n";
constexpr char kQuestion[] = "Update firmware on 'NIC-A' (5:0.0) : \nFrom ROM %s to 4.0.534? ";

TEST_F(ComponentTest, DescribeWritesTheTwoLineQuestion) {
  UseOnly(Adapter("4.0.520"));
  REdeviFirmware component(state_);
  std::ostringstream out;
  out << "> ";
  EXPECT_EQ(&component.Describe(out), &out);
  EXPECT_EQ(out.str(), "> Update firmware on 'NIC-A' (5:0.0) : \nFrom ROM 4.0.520 to 4.0.534? ");
}

// Installed older/same/newer x option bits x the three ways of answering
// without typing: silent, assume defaults, an empty line.
TEST_F(ComponentTest, ConfirmDecisionTable) {
  enum Mode { kSilent, kAssumeDefaults, kEmptyLine };
  struct Version {
    const char* installed;
    const char* warning;
    RunFlag allows;  // the option that turns the answer to yes
  } versions[] = {{"4.0.520", "", RunFlag::Force},
                  {"4.0.534", kSame, RunFlag::Rewrite},
                  {"4.1.0", kNewer, RunFlag::Downgrade}};
  const uint32_t options[] = {0, Bit(RunFlag::Rewrite), Bit(RunFlag::Downgrade),
                              Bit(RunFlag::Force)};
  for (const Version& v : versions) {
    for (uint32_t option : options) {
      for (Mode mode : {kSilent, kAssumeDefaults, kEmptyLine}) {
        SCOPED_TRACE(::testing::Message()
                     << v.installed << " options=" << option << " mode=" << mode);
        UseOnly(Adapter(v.installed));
        state_.flags.Assign(option);
        Reset(mode == kSilent, mode == kAssumeDefaults, "\n");
        REdeviFirmware component(state_);

        const bool older = *v.warning == '\0';
        const bool allowed = older || (option & (Bit(v.allows) | Bit(RunFlag::Force))) != 0;
        // -f without -s plays no part in Prompt, only in the label and empty answer.
        const int32_t expected = allowed ? kAnswerYes : kAnswerNo;
        EXPECT_EQ(component.Confirm(), expected);

        std::string console = std::string(v.warning);
        if (mode == kEmptyLine) {
          char question[256];
          snprintf(question, sizeof question, kQuestion, v.installed);
          console += std::string(question) + " y/n/q/c (" + (allowed ? "y" : "n") + "):";
        }
        if (mode == kSilent) console.clear();
        EXPECT_EQ(Console(), console);
        EXPECT_EQ(state_.flags.value(), option);  // Confirm sets no flag outside -n
      }
    }
  }
}

TEST_F(ComponentTest, CheckOnlyRecordsTheComparisonWithoutAsking) {
  struct Case {
    const char* installed;
    RunFlag seen;
  } cases[] = {{"4.0.520", RunFlag::UpdateRecommended},
               {"4.0.534", RunFlag::SameVersionSeen},
               {"5.0.0", RunFlag::NewerInstalledSeen}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installed);
    UseOnly(Adapter(c.installed));
    state_.flags.Assign(Bit(RunFlag::CheckOnly));
    Reset(false, false, "y\n");
    REdeviFirmware component(state_);
    component.Select();
    EXPECT_EQ(state_.flags.value(), Bit(RunFlag::CheckOnly) | Bit(c.seen));
    EXPECT_EQ(state_.inventory.at(0).flags, 0u);
    EXPECT_EQ(Console(),
              std::string("Found P3P Q4T MAC: 02-11-22-33-44-55 (v") + c.installed + ")\n");
    EXPECT_EQ(fgetc(input_), 'y');  // no question was read
  }
}

TEST_F(ComponentTest, SelectActsOnTheAnswer) {
  struct Case {
    const char* typed;
    uint32_t entry_flags;
    uint32_t run_flags;
  } cases[] = {
      {"y\n", kNicSupported | kNicSelected, 0},
      {"\n", kNicSupported | kNicSelected, 0},
      {"n\n", 0, 0},
      {"yup\n", 0, 0},
      {"q\n", 0, Bit(RunFlag::UserQuit)},
      {"", 0, Bit(RunFlag::UserQuit)},  // end of input quits
      {"c\n", kNicSupported, Bit(RunFlag::SkipRestOfDevice)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    NicEntry entry = Adapter("4.0.520");
    entry.flags = kNicSupported | kNicSelected;  // "c" must clear an earlier mark
    UseOnly(entry);
    state_.flags.Assign(0);
    Reset(false, false, c.typed);
    REdeviFirmware component(state_);
    component.Select();
    EXPECT_EQ(state_.inventory.at(0).flags, c.entry_flags);
    EXPECT_EQ(state_.flags.value(), c.run_flags);
  }
}

TEST_F(ComponentTest, SelectIgnoresUnsupportedAdapters) {
  NicEntry entry = Adapter("4.0.520");
  entry.flags = 0;
  UseOnly(entry);
  Reset(false, false, "y\n");
  REdeviFirmware component(state_);
  component.Select();
  EXPECT_EQ(Console(), "");
  EXPECT_EQ(state_.inventory.at(0).flags, 0u);
}

TEST_F(ComponentTest, SelectShowsAdapterAndQuestionWithExternalTextAsIs) {
  NicEntry entry = Adapter("4.0.534", "5:0.0", "%s%n-%d");
  entry.product_id = "P3P %x";
  UseOnly(entry);
  Reset(false, false, "\n");
  REdeviFirmware component(state_);
  component.Select();
  EXPECT_EQ(Console(), std::string("Found P3P %x MAC: %s%n-%d           (v4.0.534)\n") + kSame +
                           "Update firmware on 'NIC-A' (5:0.0) : \n"
                           "From ROM 4.0.534 to 4.0.534?  y/n/q/c (n):");
  EXPECT_EQ(state_.inventory.at(0).flags, 0u);
}

TEST_F(ComponentTest, ApplyFlashesMarkedAdaptersAndReports) {
  const std::string flash_a = "zadiroz -flashsupport -i 5:0.0 -a p3p_rom.bin";
  const std::string flash_b = "zadiroz -flashsupport -i 5:0.1 -a p3p_rom.bin";
  const std::string flash_c = "zadiroz -flashsupport -i 6:0.0 -a p3p_rom.bin";
  runner_->exit_codes[flash_b] = 7;
  runner_->not_started.insert(flash_c);
  state_.inventory.Append(Adapter("4.0.520", "5:0.0", "02-11-22-33-44-55"));
  state_.inventory.Append(Adapter("4.0.520", "5:0.1", "02-11-22-33-44-56"));
  state_.inventory.Append(Adapter("4.0.520", "6:0.0", "%s"));
  state_.inventory.Append(Adapter("4.0.520", "7:0.0", "unmarked"));
  NicEntry skipped = Adapter("4.0.520", "8:0.0", "skipped");
  skipped.action = "skip";
  state_.inventory.Append(skipped);
  for (size_t i = 0; i < state_.inventory.size(); ++i) {
    if (i != 3) state_.inventory.at(i).flags = kNicSupported | kNicSelected;
  }
  REdeviFirmware component(state_);
  for (size_t i = 0; i < state_.inventory.size(); ++i) {
    state_.current_device_index = static_cast<int32_t>(i);
    component.Apply();
  }
  EXPECT_EQ(runner_->commands, (std::vector<std::string>{flash_a, flash_b, flash_c}));
  EXPECT_EQ(Console(),
            "The Firmware upgrade will take several minutes. Please be patient.\n"
            "Selecting P3P Q4T MAC: 02-11-22-33-44-55 \n"
            "MAC 02-11-22-33-44-55 upgrade SUCCESS!\n"
            "Selecting P3P Q4T MAC: 02-11-22-33-44-56 \n"
            "Command to upgrade firmware failed with internal error code 7\n"
            "\tCommand: " +
                flash_b +
                "\n"
                "Selecting P3P Q4T MAC: %s           \n"
                "Command to upgrade firmware failed with internal error code 98\n"
                "\tCommand: " +
                flash_c + "\n");
  EXPECT_EQ(state_.flags.value(), Bit(RunFlag::FlashDone) | Bit(RunFlag::FlashFailed));
  for (size_t i = 0; i < state_.inventory.size(); ++i) {
    EXPECT_EQ(state_.inventory.at(i).flags, i == 3 ? kNicSupported : kNicSupported | kNicSelected);
  }
}

TEST_F(ComponentTest, ApplyRunsOnlyForMarkedAdaptersWithoutSkip) {
  struct Case {
    uint32_t flags;
    const char* action;
    bool flashed;
  } cases[] = {{kNicSelected, "", true},
               {kNicSelected, "update", true},
               {kNicSelected, "skip", false},
               {kNicSelected, "SKIP", true},
               {kNicSelected, "skip ", true},
               {kNicSupported, "", false},
               {0, "", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.flags << " '" << c.action << "'");
    NicEntry entry = Adapter("4.0.520");
    entry.flags = c.flags;
    entry.action = c.action;
    UseOnly(entry);
    runner_->commands.clear();
    REdeviFirmware component(state_);
    component.Apply();
    EXPECT_EQ(runner_->commands.size(), c.flashed ? 1u : 0u);
    EXPECT_EQ(Console().empty(), !c.flashed);
  }
}

}  // namespace
