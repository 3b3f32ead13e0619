// A flash tool for unit tests that starts no process: it records every command
// it is given and answers with the exit code the test set up, by command text,
// by the adapter location a flash command names, or one for all.
#ifndef KX_TESTS_SUPPORT_FAKE_FLASH_TOOL_H_
#define KX_TESTS_SUPPORT_FAKE_FLASH_TOOL_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/command_runner.h"
#include "tests/support/files.h"

class FakeFlashTool : public CommandRunner {
 public:
  bool Start(const std::string& command_text, uint32_t* exit_code) override {
    commands.push_back(command_text);
    list_present_at_start.push_back(std::filesystem::exists("tempNicList.xml"));
    if (!starts || not_started.count(command_text) != 0) return false;
    if (nic_list && IsListing(command_text)) WriteFileBytes("tempNicList.xml", *nic_list);
    *exit_code = exit_code_for_all;
    for (const auto& [location, code] : exit_codes_by_location) {
      if (command_text.find(" -i " + location + " ") != std::string::npos) *exit_code = code;
    }
    const auto exact = exit_codes.find(command_text);
    if (exact != exit_codes.end()) *exit_code = exact->second;
    return true;
  }
  bool StartShielded(const std::string& command_text, uint32_t* exit_code,
                     const std::function<void()>& on_interrupt, bool* interrupted) override {
    shielded.push_back(command_text);
    *interrupted = false;
    const bool started = Start(command_text, exit_code);
    for (const std::string& part : interrupted_during) {
      if (command_text.find(part) == std::string::npos) continue;
      // Pressed twice, as an operator does who sees nothing happen.
      on_interrupt();
      on_interrupt();
      *interrupted = true;
    }
    return started;
  }

  /// The commands given as calls that write firmware (shielded), in order.
  std::vector<std::string> shielded;
  /// Parts of command texts (" -i 5:0.1 ", " -u ") whose calls an interrupt
  /// reaches while they run.
  std::vector<std::string> interrupted_during;

  /// Every command given, in order, and whether "tempNicList.xml" was there
  /// when it came.
  std::vector<std::string> commands;
  std::vector<bool> list_present_at_start;

  /// false: no command starts (a tool that is not there).
  bool starts = true;
  /// Commands that cannot start.
  std::set<std::string> not_started;
  /// Exit codes: an exact command text wins over a location (" -i <location> "),
  /// which wins over the code for all.
  std::map<std::string, uint32_t> exit_codes;
  std::map<std::string, uint32_t> exit_codes_by_location;
  uint32_t exit_code_for_all = 0;
  /// Written to "tempNicList.xml" in the current directory by the listing
  /// command, when set.
  std::optional<std::string> nic_list;

 private:
  static bool IsListing(const std::string& command_text) {
    const std::string listing_end = " tempNicList.xml -p3";
    return command_text.find(" -d ") != std::string::npos &&
           command_text.size() >= listing_end.size() &&
           command_text.compare(command_text.size() - listing_end.size(), listing_end.size(),
                                listing_end) == 0;
  }
};

#endif  // KX_TESTS_SUPPORT_FAKE_FLASH_TOOL_H_
