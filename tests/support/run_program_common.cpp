#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/run_program.h"

namespace fs = std::filesystem;

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

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string MakeScratchDirectory(const std::string& name) {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path dir = fs::temp_directory_path() /
                 ("kx-" + name + "-" + std::to_string(stamp) + "-" + std::to_string(++counter));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::string JoinPath(const std::string& a, const std::string& b) {
  return (fs::path(a) / b).string();
}
