#include "platform/text_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/os.h"

std::string TextOrSpace(const char* text) { return text != nullptr ? std::string(text) : " "; }

bool FileExists(const std::string& path) { return !path.empty() && os::FileStatus(path); }

void TrimSpaces(std::string& text) {
  const size_t last = text.find_last_not_of(' ');
  if (last == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(' '));
}

int32_t ToCheckedInt(const char* text, int base) {
  if (text == nullptr || *text == '\0') {
    throw std::invalid_argument(text != nullptr ? text : "");
  }
  char* end = nullptr;
  const long value = std::strtol(text, &end, base);
  if (end == nullptr || *end != '\0') {
    throw std::invalid_argument(text);
  }
  // Where long has 64 bits, clamp to the 32-bit range so that an out-of-range
  // text ends on the same bound as where long has 32 bits.
  if (value <= INT32_MIN) {
    throw std::underflow_error(text);
  }
  if (value >= INT32_MAX) {
    throw std::overflow_error(text);
  }
  return static_cast<int32_t>(value);
}

int GetOwnFileVersion(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) {
    return 0;
  }
  os::FileVersion version;
  if (!os::OwnFileVersion(&version)) {
    version = os::FileVersion();
  }
  const int length = std::snprintf(buffer, size, "%d.%d.%d.%d", version.major, version.minor,
                                   version.patch, version.build);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  // snprintf counts what it would have written; report what fits.
  return static_cast<size_t>(length) < size ? length : static_cast<int>(size - 1);
}
