#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string ReadTextFile(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return std::string();
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

const char* NativeNewline() {
  // What a text-mode write of "\n" puts in a file, found once.
  static const std::string newline = [] {
    const fs::path probe = MakeScratchDirectory("newline");
    const fs::path file = probe / "probe.txt";
    std::string found = "\n";
    if (FILE* f = std::fopen(file.string().c_str(), "w")) {
      std::fputs("\n", f);
      std::fclose(f);
      found = ReadFileBytes(file);
    }
    std::error_code ignored;
    fs::remove_all(probe, ignored);
    return found.empty() ? std::string("\n") : found;
  }();
  return newline.c_str();
}

std::string Native(const std::string& text) {
  const std::string newline = NativeNewline();
  if (newline == "\n") return text;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') {
      out += newline;
    } else {
      out += c;
    }
  }
  return out;
}

std::string JoinPath(const std::string& a, const std::string& b) {
  return (fs::path(a) / b).string();
}

std::string MakeScratchDirectory(const std::string& name) {
  static std::atomic<int> counter{0};
  std::string full = "kx-" + name;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info != nullptr) full += std::string("-") + info->test_suite_name() + "-" + info->name();
  for (char& c : full) {
    if (c == '/' || c == '\\') c = '-';
  }
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir =
      fs::temp_directory_path() / (full + "-" + std::to_string(stamp) + "-" + std::to_string(++counter));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

ScratchDirectory::ScratchDirectory(const std::string& name, bool enter)
    : path_(MakeScratchDirectory(name)) {
  if (enter) {
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  if (!previous_.empty()) fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}
