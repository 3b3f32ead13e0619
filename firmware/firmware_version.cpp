#include "firmware/firmware_version.h"

#include <cstdio>
#include <cstring>

#include "ui/user_interface.h"

namespace {

// Longest version text read; the rest of a longer text is ignored.
constexpr size_t kMaxVersionText = 255;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi, with the overflow behaviour pinned down: leading white space and a sign
// are allowed, the conversion stops at the first non-digit, no digits give 0,
// and values beyond the signed 32-bit range clamp to its bounds (as the Windows
// runtime's atoi does) on every platform.
int32_t TokenToInt(const char* token) {
  while (IsBlank(*token)) ++token;
  bool negative = false;
  if (*token == '+' || *token == '-') {
    negative = *token == '-';
    ++token;
  }
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  for (; *token >= '0' && *token <= '9'; ++token) {
    value = value * 10 + (*token - '0');
    if (value > limit) {
      value = limit;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// Moves past the last occurrence of `c` in `p`, or leaves `p` where it is.
char* AfterLast(char* p, char c) {
  char* found = std::strrchr(p, c);
  return found != nullptr ? found + 1 : p;
}

int Order(uint32_t left, uint32_t right) { return left > right ? 1 : -1; }

}  // namespace

FirmwareVersion& FirmwareVersion::operator=(const FirmwareVersion& other) {
  if (this == &other) {
    return *this;
  }
  major = other.major;
  minor = other.minor;
  build = other.build;
  hasBuild = other.hasBuild;
  text[0] = '\0';
  return *this;
}

void FirmwareVersion::Clear() {
  major = 0;
  minor = 0;
  build = 0;
  hasBuild = false;
  text[0] = '\0';
}

void FirmwareVersion::Parse(const char* version_text, bool withBuild, UserInterface* ui) {
  if (version_text == nullptr || *version_text == '\0') {
    return;
  }
  char work[kMaxVersionText + 1];
  std::strncpy(work, version_text, kMaxVersionText);
  work[kMaxVersionText] = '\0';

  // "ROM v4.0.555": the number follows the first word.
  char* p = std::strchr(work, ' ');
  if (p == nullptr) {
    p = work;
  }
  while (*p == ' ') ++p;
  if (std::strncmp(p, "NCSI", 4) == 0) {
    p += 4;
  }
  p = AfterLast(p, 'v');
  p = AfterLast(p, 'c');

  // Split at dots; runs of dots and dots at either end give no empty piece.
  uint32_t* const fields[3] = {&major, &minor, &build};
  const int wanted = withBuild ? 3 : 2;
  for (int i = 0; i < wanted; ++i) {
    while (*p == '.') ++p;
    if (*p == '\0') {
      break;
    }
    char* end = std::strchr(p, '.');
    if (end != nullptr) {
      *end = '\0';
    }
    *fields[i] = static_cast<uint32_t>(TokenToInt(p));
    if (end == nullptr) {
      break;
    }
    p = end + 1;
  }
  hasBuild = withBuild;

  Format();
  if (ui != nullptr) {
    ui->Trace("Parsed version to be %s \n", text);
  }
}

const char* FirmwareVersion::Format() {
  // The numbers are unsigned, but the printed form is their signed 32-bit
  // pattern on every platform.
  if (hasBuild) {
    std::snprintf(text, sizeof text, "%d.%d.%d", static_cast<int32_t>(major),
                  static_cast<int32_t>(minor), static_cast<int32_t>(build));
  } else {
    std::snprintf(text, sizeof text, "%d.%d", static_cast<int32_t>(major),
                  static_cast<int32_t>(minor));
  }
  return text;
}

int FirmwareVersion::Compare(const FirmwareVersion& other) const {
  if (major != other.major) return Order(major, other.major);
  if (minor != other.minor) return Order(minor, other.minor);
  if (hasBuild && build != other.build) return Order(build, other.build);
  return 0;
}
