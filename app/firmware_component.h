// Firmware components: the objects that offer, confirm and write one kind of
// firmware on the adapter at RunState::current_device_index.
#ifndef KX_APP_FIRMWARE_COMPONENT_H_
#define KX_APP_FIRMWARE_COMPONENT_H_

#include <cstdint>
#include <ostream>

#include "inventory/run_state.h"
#include "ui/user_interface.h"

/// One kind of firmware. The update pass sets the current adapter, then calls
/// Select for every adapter and later Apply for every adapter.
class Firmware {
 public:
  virtual ~Firmware() = default;
  /// Announces the current adapter, asks through Confirm and marks the adapter
  /// for flashing, leaves it, or records a quit or "c" in the run flags.
  virtual void Select() = 0;
  /// Appends the question about the current adapter to `out`; returns `out`.
  virtual std::ostream& Describe(std::ostream& out) = 0;
  /// Compares the versions, warns, and returns the answer code of Prompt.
  virtual int32_t Confirm() = 0;
  /// Flashes the current adapter when Select marked it; records the result in
  /// the run flags, and RunFlag::Interrupted when an interrupt came meanwhile.
  virtual void Apply() = 0;
  /// True when Apply would write firmware on the current adapter.
  virtual bool Pending() = 0;
};

/// The ROM firmware of REdevi P3P-series adapters.
class REdeviFirmware : public Firmware {
 public:
  /// Acts on `state` (which must outlive the component): its inventory, flags,
  /// UserInterface, runner and package firmware file.
  explicit REdeviFirmware(RunState& state);

  void Select() override;
  std::ostream& Describe(std::ostream& out) override;
  int32_t Confirm() override;
  void Apply() override;
  bool Pending() override;

 private:
  NicEntry& Current();

  RunState& state_;
  OnceMessage waiting_notice_;  ///< shown before the first flash of the run
};

#endif  // KX_APP_FIRMWARE_COMPONENT_H_
