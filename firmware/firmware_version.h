// FirmwareVersion: the value type for every firmware version the program
// handles (installed in an adapter's ROM, carried by the package). It reads the
// free-form version texts of the NIC list and package files, prints them back
// and orders them.
#ifndef KX_FIRMWARE_FIRMWARE_VERSION_H_
#define KX_FIRMWARE_FIRMWARE_VERSION_H_

#include <cstdint>

class UserInterface;

struct FirmwareVersion {
  /// A cleared value: 0.0.0, no build number, empty text.
  FirmwareVersion() = default;
  /// Copies every field, the cached text included.
  FirmwareVersion(const FirmwareVersion& other) = default;
  /// Always takes the other value's numbers and `hasBuild`, even when the two
  /// compare equal; the cached text becomes empty (call Format to refresh it).
  FirmwareVersion& operator=(const FirmwareVersion& other);
  ~FirmwareVersion() = default;

  /// All numbers 0, `hasBuild` false, text empty; prints as 0.0.
  void Clear();

  /// Reads a decimal version text such as "4.0.555", "v4.0.555", "ROM v4.0.555"
  /// or "NCSI4.1.2": the scan starts after the first space (if any) and the
  /// spaces that follow, skips a leading "NCSI", then moves past the last 'v'
  /// and after that past the last 'c'; the rest is split at dots (empty pieces
  /// skipped) into major, minor and, when `withBuild` is set, build. Each piece
  /// converts as atoi does, clamped to the 32-bit signed range; a missing piece
  /// keeps its number. `hasBuild` becomes `withBuild`. Only the first 255
  /// characters of `text` are read. A null or empty text changes nothing.
  /// Writes a trace line through `ui` when it is not null.
  void Parse(const char* text, bool withBuild, UserInterface* ui = nullptr);

  /// Formats "major.minor.build" (or "major.minor" without a build number) into
  /// `text` and returns it. Each number prints as its signed 32-bit pattern, so a
  /// negative piece of a parsed text shows with its minus sign.
  const char* Format();

  /// +1, 0 or -1 comparing major, minor and then, only when this value's
  /// `hasBuild` is set, build, all as unsigned numbers. The other value's
  /// `hasBuild` plays no part.
  int Compare(const FirmwareVersion& other) const;

  bool operator==(const FirmwareVersion& other) const { return Compare(other) == 0; }
  bool operator!=(const FirmwareVersion& other) const { return Compare(other) != 0; }
  bool operator<(const FirmwareVersion& other) const { return Compare(other) < 0; }

  char text[64] = {};  ///< The last formatted form; empty after Clear and assignment.
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool hasBuild = false;  ///< The build number is printed and (on the left) compared.
};

#endif  // KX_FIRMWARE_FIRMWARE_VERSION_H_
