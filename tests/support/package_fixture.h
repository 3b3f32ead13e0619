// A fixture for end-to-end tests: a scratch package directory (the current
// directory of the program under test), a scratch system drive and temporary
// directory (POSIX), and the part of the log that this test's runs wrote.
#ifndef KX_TESTS_SUPPORT_PACKAGE_FIXTURE_H_
#define KX_TESTS_SUPPORT_PACKAGE_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_program.h"

class PackageFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  /// Removes the scratch folders (whatever a test's own TearDown does).
  ~PackageFixture() override;

  /// Copies a file of examples/ into the package directory.
  void CopyExample(const std::string& name);
  /// Runs the utility in the package directory with standard input `input`
  /// (closed when `close_input`), and `extra` added to its environment.
  ProgramRun Run(const std::vector<std::string>& args, const std::string& input = "",
                 bool close_input = true,
                 const std::map<std::string, std::string>& extra = {},
                 unsigned input_delay_ms = 0);
  /// What this test's runs appended to the log, the stamp dates masked as <date>.
  std::string NewLog() const;
  /// The log's "Command line supplied" lines for `args` ("-c " for "-c").
  std::string Echo(const std::string& args) const;
  /// A path inside the package directory.
  std::string PackagePath(const std::string& name) const { return JoinPath(package_, name); }
  /// Where the flash tool's lock file lies for the program under test.
  std::string LockPath() const { return JoinPath(temp_, "rozado_lock_file"); }

  std::string scratch_;
  std::string package_;
  std::string temp_;  ///< the program's temporary directory (TMPDIR; TMP and TEMP on Windows)
  std::string log_path_;
  size_t log_start_ = 0;
};

/// The banner the utility prints first.
std::string Banner();
/// The usage text.
std::string Usage();
/// Replaces the date of every stamp line with <date>, after checking its form.
std::string MaskStamps(const std::string& log);

#endif  // KX_TESTS_SUPPORT_PACKAGE_FIXTURE_H_
