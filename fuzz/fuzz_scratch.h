// Support for the fuzz targets that drive the program's own file readers: a
// scratch directory that is the current one only while an input runs, so that
// the readers find their files under the names the program uses.
#ifndef KX_FUZZ_FUZZ_SCRATCH_H_
#define KX_FUZZ_FUZZ_SCRATCH_H_

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xml/xml.h"

namespace fuzz {

/// One scratch directory per fuzzing process, removed when the process exits.
/// It lives in memory (/dev/shm) where it can: every input creates and removes
/// files, which on a disk file system costs more than the run itself.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    for (const char* parent : {"/dev/shm", "/tmp"}) {
      std::string name = std::string(parent) + "/kx_fuzz_XXXXXX";
      if (mkdtemp(&name[0]) != nullptr) {
        path_ = name;
        return;
      }
    }
    std::perror("mkdtemp");
    std::abort();
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

/// Makes `directory` the current one for its lifetime, then returns to the
/// previous one (libFuzzer's own paths may be relative).
class InDirectory {
 public:
  explicit InDirectory(const std::string& directory) : previous_(open(".", O_RDONLY)) {
    if (previous_ < 0 || chdir(directory.c_str()) != 0) {
      std::perror("chdir");
      std::abort();
    }
  }
  ~InDirectory() {
    if (fchdir(previous_) != 0) std::abort();
    close(previous_);
  }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  int previous_;
};

/// Writes `size` bytes to `name` (created or truncated); aborts when it cannot.
inline void WriteFile(const char* name, const void* data, size_t size) {
  FILE* file = std::fopen(name, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

inline bool Exists(const char* name) {
  struct stat info;
  return stat(name, &info) == 0;
}

inline std::string ReadFile(const char* name) {
  std::string bytes;
  if (FILE* file = std::fopen(name, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

/// The version-only file, when one was written, must read back as the file the
/// program and its callers expect: a `kx_rom_discovery` root with five entries,
/// also when the values hold lone bytes (a character reference such as &#xE9;
/// in the NIC list gives one).
inline void CheckVersionOnlyFile(const char* name) {
  if (!Exists(name)) return;
  XmlParseResult result{};
  XmlElement root = parseXmlFile(name, "kx_rom_discovery", &result);
  if (result.code != kXmlSuccess || childCount(root) != 5) {
    std::fprintf(stderr, "the version-only file does not read back (code %d, %d entries):\n",
                 static_cast<int>(result.code), static_cast<int>(childCount(root)));
    if (FILE* file = std::fopen(name, "rb")) {
      int c;
      while ((c = std::fgetc(file)) != EOF) {
        if (c >= 0x20 && c < 0x7F) {
          std::fputc(c, stderr);
        } else if (c == '\n') {
          std::fputs("\\n\n", stderr);
        } else {
          std::fprintf(stderr, "\\x%02X", static_cast<unsigned>(c));
        }
      }
      std::fclose(file);
    }
    std::abort();
  }
}

}  // namespace fuzz

#endif  // KX_FUZZ_FUZZ_SCRATCH_H_
