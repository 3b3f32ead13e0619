// RunFlags: the one word of option bits (set from the command line) and outcome
// bits (set while a mode runs) that every part of the program reads.
#ifndef KX_UI_RUN_FLAGS_H_
#define KX_UI_RUN_FLAGS_H_

#include <cstdint>

enum class RunFlag : uint32_t {
  Debug = 0x1,
  ShowInstalled = 0x2,
  MakeReport = 0x4,
  Rewrite = 0x8,
  Force = 0x10,
  Downgrade = 0x20,
  CheckOnly = 0x40,
  VersionOnly = 0x80,
  RestartAfterUpdate = 0x100,
  Silent = 0x200,
  UpdateFromReportFile = 0x400,
  VersionFile = 0x800,
  AssumeDefaults = 0x1000,
  UserQuit = 0x4000,
  QuietEndOfInput = 0x8000,
  UpdateRecommended = 0x10000,
  SameVersionSeen = 0x20000,
  NewerInstalledSeen = 0x40000,
  FlashFailed = 0x80000,
  FlashDone = 0x100000,
  SkipRestOfDevice = 0x200000,
  /// An interrupt came during a firmware write: no further write is started.
  Interrupted = 0x400000,
};

constexpr uint32_t Bit(RunFlag flag) { return static_cast<uint32_t>(flag); }

/// The process-wide flag word; zero at start.
class RunFlags {
 public:
  RunFlags() = default;
  explicit RunFlags(uint32_t value) : value_(value) {}

  void Set(RunFlag flag) { value_ |= Bit(flag); }
  void Clear(RunFlag flag) { value_ &= ~Bit(flag); }
  bool Has(RunFlag flag) const { return (value_ & Bit(flag)) != 0; }
  uint32_t value() const { return value_; }
  void Assign(uint32_t value) { value_ = value; }

 private:
  uint32_t value_ = 0;
};

#endif  // KX_UI_RUN_FLAGS_H_
