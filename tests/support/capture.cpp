#include "tests/support/capture.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string ReadConsole(FILE* file) {
  fflush(file);
  rewind(file);
  std::string text;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  // A write may follow a read only after a positioning call.
  fseek(file, 0, SEEK_END);
  return text;
}

std::string TextNewline() {
  const fs::path path = fs::temp_directory_path() /
                        ("kx-newline-" +
                         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  FILE* f = fopen(path.string().c_str(), "w");
  if (f == nullptr) return "\n";
  fputs("\n", f);
  fclose(f);
  std::string newline = ReadAll(path);
  fs::remove(path);
  return newline;
}

std::string InLog(const std::string& text) {
  const std::string newline = TextNewline();
  std::string out;
  for (char c : text) out += c == '\n' ? newline : std::string(1, c);
  return out;
}

std::string ReadLog(const fs::path& path) {
  std::ifstream in(path);  // text mode: the platform's line ends read back as "\n"
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

FILE* OpenScratchFile(const std::filesystem::path& dir) {
  static int counter = 0;
  const std::filesystem::path path = dir / ("scratch-" + std::to_string(++counter));
  return std::fopen(path.string().c_str(), "w+b");
}

void CaptureTest::SetUp() {
  // Named after the test, so that test programs running side by side never
  // share a directory.
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("kx-") + info->test_suite_name() + "-" + info->name() + "-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  dir_ = fs::temp_directory_path() / name;
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  log_ = (dir_ / "veskor.log").string();
  console_ = OpenScratchFile(dir_);
  ASSERT_NE(console_, nullptr);
}

void CaptureTest::TearDown() {
  ui_.reset();
  if (console_ != nullptr) fclose(console_);
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

UserInterface& CaptureTest::MakeUi(FILE* input) {
  ui_.reset();
  ui_ = std::make_unique<UserInterface>(log_, 121, 65, console_, input);
  return *ui_;
}
