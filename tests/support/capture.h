// Test support for the unit tests that read back what a UserInterface wrote:
// its console (a temporary file) and its log (a file in a scratch directory).
#ifndef KX_TESTS_SUPPORT_CAPTURE_H_
#define KX_TESTS_SUPPORT_CAPTURE_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/files.h"
#include "ui/user_interface.h"

/// Everything written to `file` so far, read from its start; the position is
/// left at the end, so later writes append.
std::string ReadConsole(FILE* file);

/// A new empty file in `dir`, open for reading and writing in binary; null
/// when it cannot be made. Used in place of tmpfile(), which on Windows makes
/// its files in the root of the current drive under names that test programs
/// running side by side can both pick.
FILE* OpenScratchFile(const std::filesystem::path& dir);

/// A fixture with a fresh scratch directory (removed afterwards), the log path
/// "veskor.log" inside it and a console that is a temporary file.
class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  /// Drops ui_ (closing the log), closes the console and removes the directory.
  void TearDown() override;

  /// A new UserInterface on log_ and console_ reading `input`, kept in ui_
  /// (the previous one goes first).
  UserInterface& MakeUi(FILE* input = stdin);
  /// Everything the console has received.
  std::string Console() { return ReadConsole(console_); }
  /// The log, its line ends read back as "\n".
  std::string Log() const { return ReadTextFile(log_); }

  std::unique_ptr<ScratchDirectory> scratch_;
  std::filesystem::path dir_;
  std::string log_;
  FILE* console_ = nullptr;
  std::unique_ptr<UserInterface> ui_;
};

#endif  // KX_TESTS_SUPPORT_CAPTURE_H_
