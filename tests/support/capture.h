// Test support for the unit tests that read back what a UserInterface wrote:
// its console (a temporary file) and its log (a file in a scratch directory).
#ifndef KX_TESTS_SUPPORT_CAPTURE_H_
#define KX_TESTS_SUPPORT_CAPTURE_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ui/user_interface.h"

/// Whole content of a file, read in binary; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& path);

/// Everything written to `file` so far, read from its start; the position is
/// left at the end, so later writes append.
std::string ReadConsole(FILE* file);

/// The line end that text-mode files get on this platform ("\n" or "\r\n").
std::string TextNewline();

/// `text` as a text-mode file holds it: every "\n" as TextNewline().
std::string InLog(const std::string& text);

/// A file read in text mode: the platform's line ends come back as "\n".
/// Empty when it cannot be read.
std::string ReadLog(const std::filesystem::path& path);

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
  std::string Log() const { return ReadLog(log_); }

  std::filesystem::path dir_;
  std::string log_;
  FILE* console_ = nullptr;
  std::unique_ptr<UserInterface> ui_;
};

#endif  // KX_TESTS_SUPPORT_CAPTURE_H_
