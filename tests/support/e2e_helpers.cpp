#include "tests/support/e2e_helpers.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/support/package_fixture.h"
#include "tests/support/run_program.h"

std::map<std::string, std::string> ToolEnvironment(const std::string& scenario,
                                                   const std::string& calls,
                                                   const std::string& state) {
  return {{"ZADIROZ_SCENARIO", ProgramPathAsSeen(scenario)},
          {"ZADIROZ_CALLS", ProgramPathAsSeen(calls)},
          {"ZADIROZ_STATE", ProgramPathAsSeen(state)}};
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::istringstream in(ReadFileBytes(path));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> DirectoryNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Utf16Hex(const std::string& text) {
  std::string hex = "FFFE";
  const char* digits = "0123456789ABCDEF";
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
    hex += "00";
  }
  return hex;
}

std::string RunLog(const std::string& echo, const std::string& middle, int exit_code) {
  return Native(kChecking + Banner() + echo + "Upgrade began: <date>\n\n" + middle +
                "Upgrade completed: <date>\n\nExiting with code " + std::to_string(exit_code) +
                "\n");
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string TestNameOf(const std::string& text) {
  std::string name;
  bool capital = true;
  for (char c : text) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) {
      capital = true;
      continue;
    }
    name += capital && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    capital = false;
  }
  return name;
}
