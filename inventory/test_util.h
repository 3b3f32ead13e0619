// Test support for the inventory tests: a RunState in a scratch working
// directory, with a fake flash tool, whose log and console the test can read.
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
#include "tests/support/fake_flash_tool.h"
#include "tests/support/files.h"

namespace inventory_test {

/// A RunState in a scratch directory with a fake flash tool; log and console
/// are files the test reads back.
class InventoryTest : public ::testing::Test {
 protected:
  InventoryTest()
      : testdata_(std::filesystem::absolute("testdata")),
        scratch_(std::make_unique<ScratchDirectory>("inventory", true)) {
    console_ = OpenScratchFile(scratch_->path());
    state_.ui = std::make_unique<UserInterface>((scratch_->path() / "veskor.log").string(), 121, 65,
                                                console_, stdin);
    auto runner = std::make_unique<FakeFlashTool>();
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
  std::string Log() const { return ReadTextFile(scratch_->path() / "veskor.log"); }

  /// Everything the console has received.
  std::string Console() const { return ReadConsole(console_); }

  std::filesystem::path testdata_;
  std::unique_ptr<ScratchDirectory> scratch_;
  FILE* console_ = nullptr;
  RunState state_;
  FakeFlashTool* runner_ = nullptr;
};

}  // namespace inventory_test

#endif  // KX_INVENTORY_TEST_UTIL_H_
