#include "tests/support/package_fixture.h"

#include <filesystem>
#include <regex>

#include "kx_version.h"

std::string Banner() {
  const std::string rule(77, '-');
  return rule + "\nKX REdevi P3P Online Firmware Upgrade Utility for Windows (" KX_VERSION_TEXT
                ")\nCopyright (C) REdevi. All rights reserved.\n" +
         rule + "\n\n";
}

std::string Usage() {
  return "USAGE: KXVaReviv [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n"
         "With no options, interactively upgrade firmware.\n"
         "-c  Display currently installed firmware information.\n"
         "-d <filename>  Generate XML discovery report to <filename>.\n"
         "-e  Enable re-write if the current firmware is the same, and upgrade if the current "
         "firmware is older.\n"
         "-f  Force all firmware changes to occur.\n"
         "-g  Enable downgrade if the current firmware is newer, and upgrade if the current "
         "firmware is older.\n"
         "-h  Display this help menu.\n"
         "-s  Silently (non-interactively) upgrade firmware. \n"
         "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n"
         "-y  Assume default repsonse for all prompts.\n";
}

std::string MaskStamps(const std::string& log) {
  static const std::regex stamp(
      "(Upgrade (began|completed)): [A-Z][a-z]{2} [A-Z][a-z]{2} [0-3][0-9] "
      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}(\r?\n)");
  return std::regex_replace(log, stamp, "$1: <date>$3");
}

void PackageFixture::SetUp() {
  // A test may start over with a fresh package: the previous one goes.
  std::error_code ignored;
  if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
  scratch_ = MakeScratchDirectory("package");
  package_ = JoinPath(scratch_, "package");
  temp_ = JoinPath(scratch_, "tmp");
  std::filesystem::create_directories(package_);
  std::filesystem::create_directories(JoinPath(scratch_, "drive"));
  std::filesystem::create_directories(temp_);
  CopyExample("ZOVOREruz.xml");
  log_path_ = ProgramLogPath(JoinPath(scratch_, "drive"));
  log_start_ = ReadFileBytes(log_path_).size();
}

PackageFixture::~PackageFixture() {
  std::error_code ignored;
  if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
}

void PackageFixture::CopyExample(const std::string& name) {
  WriteFileBytes(PackagePath(name), ReadFileBytes(JoinPath(KX_EXAMPLES_DIR, name)));
}

ProgramRun PackageFixture::Run(const std::vector<std::string>& args, const std::string& input,
                               bool close_input,
                               const std::map<std::string, std::string>& extra,
                               unsigned input_delay_ms) {
  ProgramOptions options;
  options.working_directory = package_;
  options.environment = ScratchEnvironment(scratch_);
  for (const auto& entry : extra) options.environment[entry.first] = entry.second;
  options.input = input;
  options.close_input = close_input;
  options.input_delay_ms = input_delay_ms;
  return RunProgramAndWait(KX_PROGRAM_FILE, args, options);
}

std::string PackageFixture::NewLog() const {
  return MaskStamps(ReadFileBytes(log_path_).substr(log_start_));
}

std::string PackageFixture::Echo(const std::string& args) const {
  return "Command line supplied:\n\t" + ProgramPathAsSeen(KX_PROGRAM_FILE) + " " + args + "\n";
}
