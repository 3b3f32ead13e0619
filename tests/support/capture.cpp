#include "tests/support/capture.h"

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

FILE* OpenScratchFile(const std::filesystem::path& dir) {
  static int counter = 0;
  const std::filesystem::path path = dir / ("scratch-" + std::to_string(++counter));
  return std::fopen(path.string().c_str(), "w+b");
}

void CaptureTest::SetUp() {
  scratch_ = std::make_unique<ScratchDirectory>("unit");
  dir_ = scratch_->path();
  log_ = (dir_ / "veskor.log").string();
  console_ = OpenScratchFile(dir_);
  ASSERT_NE(console_, nullptr);
}

void CaptureTest::TearDown() {
  ui_.reset();
  if (console_ != nullptr) fclose(console_);
  console_ = nullptr;
  scratch_.reset();
}

UserInterface& CaptureTest::MakeUi(FILE* input) {
  ui_.reset();
  ui_ = std::make_unique<UserInterface>(log_, 121, 65, console_, input);
  return *ui_;
}
