#include "app/firmware_component.h"

#include <sstream>
#include <string>

#include "inventory/flash_tool.h"
#include "platform/command_runner.h"
#include "platform/os.h"
#include "ui/command_log.h"
#include "ui/prompt.h"

namespace {

constexpr char kWaitingNotice[] =
    "The Firmware upgrade will take several minutes. Please be patient.\n";
constexpr char kSameVersionWarning[] =
    "*** WARNING *** - Installed firmware is the same version as selected firmware\n";
constexpr char kNewerInstalledWarning[] =
    "*** WARNING *** - Installed firmware is more recent than selected firmware\n";
constexpr char kSkipAction[] = "skip";
constexpr unsigned kPauseAfterFlashMs = 10;

}  // namespace

REdeviFirmware::REdeviFirmware(RunState& state) : state_(state) {
  waiting_notice_.shown = false;
  waiting_notice_.channel = OnceMessage::kPrint;
}

NicEntry& REdeviFirmware::Current() {
  return state_.inventory.at(static_cast<size_t>(state_.current_device_index));
}

void REdeviFirmware::Select() {
  NicEntry& entry = Current();
  if ((entry.flags & kNicSupported) == 0) return;
  state_.ui->Print("Found %s MAC: %-17s (v%s)\n", entry.product_id.c_str(), entry.mac.c_str(),
                   entry.installed.Format());
  switch (Confirm()) {
    case kAnswerYes:
      entry.flags |= kNicSelected;
      break;
    case kAnswerQuit:
      entry.flags = 0;
      state_.flags.Set(RunFlag::UserQuit);
      break;
    case kAnswerContinue:
      entry.flags &= ~kNicSelected;
      state_.flags.Set(RunFlag::SkipRestOfDevice);
      break;
    default:
      entry.flags = 0;
      break;
  }
}

std::ostream& REdeviFirmware::Describe(std::ostream& out) {
  NicEntry& entry = Current();
  out << "Update firmware on '" << entry.device_id << "' (" << entry.location << ") : \n"
      << "From ROM " << entry.installed.Format() << " to " << entry.available.Format() << "? ";
  return out;
}

int32_t REdeviFirmware::Confirm() {
  std::ostringstream question;
  Describe(question);

  NicEntry& entry = Current();
  const int order = entry.installed.Compare(entry.available);
  RunFlags& flags = state_.flags;
  if (flags.Has(RunFlag::CheckOnly)) {
    if (order < 0) {
      flags.Set(RunFlag::UpdateRecommended);
    } else if (order == 0) {
      flags.Set(RunFlag::SameVersionSeen);
    } else {
      flags.Set(RunFlag::NewerInstalledSeen);
    }
    return kAnswerNo;
  }

  int32_t silent = kAnswerYes;
  const int32_t forced = kAnswerYes;
  int32_t empty = kAnswerYes;
  const char* label = "y";
  bool keep_yes = true;
  if (order == 0) {
    state_.ui->Print(std::string(kSameVersionWarning));
    keep_yes = flags.Has(RunFlag::Rewrite) || flags.Has(RunFlag::Force);
  } else if (order > 0) {
    state_.ui->Print(std::string(kNewerInstalledWarning));
    keep_yes = flags.Has(RunFlag::Downgrade) || flags.Has(RunFlag::Force);
  }
  if (!keep_yes) {
    silent = kAnswerNo;
    empty = kAnswerNo;
    label = "n";
  }
  return Prompt(*state_.ui, flags, question.str(), silent, forced, empty, label);
}

bool REdeviFirmware::Pending() {
  const NicEntry& entry = Current();
  return (entry.flags & kNicSelected) != 0 && entry.action != kSkipAction;
}

void REdeviFirmware::Apply() {
  if (!Pending()) return;
  NicEntry& entry = Current();
  UserInterface& ui = *state_.ui;
  ShowOnce(waiting_notice_, ui, "%s", kWaitingNotice);
  ui.Print("Selecting %s MAC: %-12s \n", entry.product_id.c_str(), entry.mac.c_str());

  const std::string command = FlashAdapterCommand(entry.location, state_.package.firmware_file);
  uint32_t code = 0;
  bool interrupted = false;
  CommandLog log(ui);
  const bool ran = RunWriteCommand(log, *state_.runner, command, &code, &interrupted);
  if (interrupted) state_.flags.Set(RunFlag::Interrupted);
  if (ran && code == 0) {
    state_.flags.Set(RunFlag::FlashDone);
    ui.Print("MAC %s upgrade SUCCESS!\n", entry.mac.c_str());
    os::SleepMilliseconds(kPauseAfterFlashMs);
    return;
  }
  state_.flags.Set(RunFlag::FlashFailed);
  ui.Print("Command to upgrade firmware failed with internal error code %d\n\tCommand: %s\n",
           static_cast<int>(code), command.c_str());
}
