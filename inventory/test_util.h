// Test support for the inventory tests: a scratch working directory, a flash
// tool that plays back a NIC list, and a RunState whose log and console the
// test can read.
#ifndef KX_INVENTORY_TEST_UTIL_H_
#define KX_INVENTORY_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inventory/run_state.h"
#include "platform/command_runner.h"
#include "tests/support/capture.h"

namespace inventory_test {

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

/// Makes a fresh directory the current one for its lifetime; restores the
/// previous current directory and removes the scratch one afterwards.
class ScopedScratchDirectory {
 public:
  ScopedScratchDirectory() : previous_(std::filesystem::current_path()) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "kx-inventory-";
    if (info != nullptr) name += std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '-';
    }
    name += "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScopedScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedScratchDirectory(const ScopedScratchDirectory&) = delete;
  ScopedScratchDirectory& operator=(const ScopedScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

/// Records every command. The listing command writes `nic_list` (when set)
/// into "tempNicList.xml" and ends with `exit_code`; `starts` false plays a
/// tool that cannot be started.
class FakeCommandRunner : public CommandRunner {
 public:
  bool Start(const std::string& command_text, uint32_t* exit_code) override {
    commands.push_back(command_text);
    list_present_at_start.push_back(std::filesystem::exists("tempNicList.xml"));
    if (!starts) return false;
    const std::string listing_end = " tempNicList.xml -p3";
    const bool listing = command_text.find(" -d ") != std::string::npos &&
                         command_text.size() >= listing_end.size() &&
                         command_text.compare(command_text.size() - listing_end.size(),
                                              listing_end.size(), listing_end) == 0;
    if (listing && nic_list) WriteFile("tempNicList.xml", *nic_list);
    *exit_code = exit_code_to_return;
    return true;
  }

  std::vector<std::string> commands;
  std::vector<bool> list_present_at_start;
  bool starts = true;
  uint32_t exit_code_to_return = 0;
  std::optional<std::string> nic_list;
};

/// A RunState in a scratch directory with a fake flash tool; log and console
/// are files the test reads back.
class InventoryTest : public ::testing::Test {
 protected:
  InventoryTest()
      : testdata_(std::filesystem::absolute("testdata")),
        scratch_(std::make_unique<ScopedScratchDirectory>()) {
    console_ = OpenScratchFile(scratch_->path());
    state_.ui = std::make_unique<UserInterface>((scratch_->path() / "veskor.log").string(), 121, 65,
                                                console_, stdin);
    auto runner = std::make_unique<FakeCommandRunner>();
    runner_ = runner.get();
    state_.runner = std::move(runner);
  }
  ~InventoryTest() override {
    state_.ui.reset();  // closes the log before its directory goes
    if (console_ != nullptr) std::fclose(console_);
  }

  /// Starts a new UserInterface on an empty log (the old one closes its log first).
  void ResetLog() {
    state_.ui.reset();
    std::filesystem::remove(scratch_->path() / "veskor.log");
    state_.ui = std::make_unique<UserInterface>((scratch_->path() / "veskor.log").string(), 121, 65,
                                                console_, stdin);
  }

  /// Copies a file of testdata/ into the current directory (under `as`, or its own name).
  void CopyTestdata(const std::string& name, const std::string& as = "") {
    std::filesystem::copy_file(testdata_ / name, as.empty() ? name : as,
                               std::filesystem::copy_options::overwrite_existing);
  }

  /// The log so far, with the platform's line ends read back as "\n".
  std::string Log() const { return ReadLog(scratch_->path() / "veskor.log"); }

  /// Everything the console has received.
  std::string Console() const { return ReadConsole(console_); }

  std::filesystem::path testdata_;
  std::unique_ptr<ScopedScratchDirectory> scratch_;
  FILE* console_ = nullptr;
  RunState state_;
  FakeCommandRunner* runner_ = nullptr;
};

}  // namespace inventory_test

#endif  // KX_INVENTORY_TEST_UTIL_H_
