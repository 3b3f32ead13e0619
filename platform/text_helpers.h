// Small text and file helpers shared by the configuration reader, the NIC list
// parser, the start-up checks and the banner. Each is a free function without state.
#ifndef KX_PLATFORM_TEXT_HELPERS_H_
#define KX_PLATFORM_TEXT_HELPERS_H_

#include <cstddef>
#include <cstdint>
#include <string>

/// A copy of `text`, or a single space " " when `text` is null.
std::string TextOrSpace(const char* text);

/// True when the file-status query succeeds for `path`; directories count as
/// existing. False for an empty path or one that cannot be examined.
bool FileExists(const std::string& path);

/// Removes leading and trailing spaces (0x20 only: tabs, line breaks and other
/// white space stay). A text of spaces only becomes empty.
void TrimSpaces(std::string& text);

/// Converts `text` in `base` as strtol does (leading white space and a sign
/// allowed; base 16 accepts a "0x" prefix) and returns the signed 32-bit value.
/// Throws std::invalid_argument for a null or empty text or one with characters
/// left over (trailing spaces included); std::underflow_error when the value is
/// -2147483648 or below, std::overflow_error when it is 2147483647 or above
/// (out-of-range texts clamp to those bounds, and both bounds are errors). The
/// exception's message is the text (empty for a null text).
int32_t ToCheckedInt(const char* text, int base);

/// Writes the running program's file version as "%d.%d.%d.%d" into `buffer`
/// (at most `size` - 1 characters and a terminator; "0.0.0.0" when the version
/// cannot be read). Returns the number of characters written, 0 when `buffer`
/// is null or `size` is 0.
int GetOwnFileVersion(char* buffer, size_t size);

#endif  // KX_PLATFORM_TEXT_HELPERS_H_
