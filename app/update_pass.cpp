#include "app/update_pass.h"

#include <string>

#include "app/exit_codes.h"
#include "app/modes.h"
#include "inventory/discovery.h"

namespace {

constexpr char kCancelledByUser[] = "\nFirmware upgrade cancelled by User \n";
constexpr char kCompletedWithErrors[] = "\nNIC firmware update completed with errors. \n";
constexpr char kRecommended[] = "\nNIC firmware update is recommended.\n";
constexpr char kNotRecommended[] = "\nNIC firmware update is not recommended.\n";
constexpr char kComplete[] = "\nNIC firmware update complete.\n";
constexpr char kNothingSelected[] = "\nNo firmware is selected for update.\n";

}  // namespace

int CountUpdateCandidates(Program& program) {
  if (DiscoverDevices(program) != 0 || program.inventory.empty()) return -1;
  return static_cast<int>(program.inventory.count());
}

int SelectionLoop(Program& program, int count) {
  RunFlags& flags = program.flags;
  for (int i = 0; i < count; ++i) {
    program.current_device_index = i;
    for (int j = 0; j < program.component_count; ++j) {
      // Tested before each component: a "c" or quit answer skips the rest.
      if (flags.Has(RunFlag::SkipRestOfDevice) || flags.Has(RunFlag::UserQuit)) continue;
      program.firmware_components.at(static_cast<size_t>(j))->Select();
    }
    if (flags.Has(RunFlag::SkipRestOfDevice)) {
      flags.Clear(RunFlag::SkipRestOfDevice);
      continue;
    }
    if (flags.Has(RunFlag::UserQuit)) {
      program.ui->Print(std::string(kCancelledByUser));
      return update_exit::kNothingFlashed;
    }
  }
  return 0;
}

namespace {

// After an interrupt: names the adapters that a component would still have
// written, from component `component` of adapter `adapter` on, and when there
// are any, makes the run one that completed with errors.
void StopAfterInterrupt(Program& program, int adapter, int component, int count) {
  std::string left;
  for (int i = adapter; i < count; ++i) {
    program.current_device_index = i;
    bool pending = false;
    for (int j = i == adapter ? component : 0; j < program.component_count; ++j) {
      pending = pending || program.firmware_components.at(static_cast<size_t>(j))->Pending();
    }
    if (!pending) continue;
    const NicEntry& entry = program.inventory.at(static_cast<size_t>(i));
    left += (left.empty() ? "" : ", ") + entry.mac + " (" + entry.location + ")";
  }
  if (left.empty()) return;
  program.ui->Print("Run stopped by the interrupt. Adapters left as they were: %s\n", left.c_str());
  program.flags.Set(RunFlag::FlashFailed);
}

}  // namespace

int ApplyLoop(Program& program, int count) {
  for (int i = 0; i < count; ++i) {
    program.current_device_index = i;
    for (int j = 0; j < program.component_count; ++j) {
      if (program.flags.Has(RunFlag::Interrupted)) {
        StopAfterInterrupt(program, i, j, count);
        return 0;
      }
      program.firmware_components.at(static_cast<size_t>(j))->Apply();
    }
  }
  return 0;
}

int SummarizeOutcome(UserInterface& ui, const RunFlags& flags) {
  if (flags.Has(RunFlag::FlashFailed)) {
    ui.Print(std::string(kCompletedWithErrors));
    return update_exit::kFailed;
  }
  if (flags.Has(RunFlag::CheckOnly)) {
    if (flags.Has(RunFlag::UpdateRecommended)) {
      ui.Print(std::string(kRecommended));
      return update_exit::kRecommended;
    }
    ui.Print(std::string(kNotRecommended));
    return flags.Has(RunFlag::NewerInstalledSeen) ? update_exit::kNewerInstalled
                                                  : update_exit::kAllCurrent;
  }
  if (flags.Has(RunFlag::FlashDone)) {
    ui.Print(std::string(kComplete));
    return update_exit::kFlashed;
  }
  ui.Print(std::string(kNothingSelected));
  return update_exit::kNothingFlashed;
}

int UpdatePass(Program& program) {
  const int count = CountUpdateCandidates(program);
  // Discovery has logged why it found nothing; nothing more is printed.
  if (count < 0) return update_exit::kFailed;
  if (count == 0) {
    program.ui->Print(std::string(kNoSupportedAdapters));
    return update_exit::kNothingFlashed;
  }
  const int selected = SelectionLoop(program, count);
  if (selected != 0) return selected;
  ApplyLoop(program, count);
  return SummarizeOutcome(*program.ui, program.flags);
}
