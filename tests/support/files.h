// Files and folders for the tests: whole-file reads and writes, the platform's
// line end, and scratch folders that tests running side by side never share.
#ifndef KX_TESTS_SUPPORT_FILES_H_
#define KX_TESTS_SUPPORT_FILES_H_

#include <filesystem>
#include <string>

/// Whole content of a file, read in binary; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

/// A file read in text mode: the platform's line ends come back as "\n".
/// Empty when it cannot be read.
std::string ReadTextFile(const std::filesystem::path& path);

/// Writes a file in binary, replacing what it held.
bool WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

/// The line end that text-mode files and the console get on this platform
/// ("\n" or "\r\n").
const char* NativeNewline();

/// `text` with every "\n" turned into the platform's line end.
std::string Native(const std::string& text);

/// Joins path components with the platform's separator.
std::string JoinPath(const std::string& a, const std::string& b);

/// A fresh, empty scratch folder in the temporary directory whose name holds
/// `name`, the running test's name and a unique stamp.
std::string MakeScratchDirectory(const std::string& name);

/// A scratch folder for the lifetime of the object, removed with everything in
/// it afterwards. With `enter`, it is also the current directory meanwhile.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name, bool enter = false);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;  // the current directory before, when entered
};

#endif  // KX_TESTS_SUPPORT_FILES_H_
