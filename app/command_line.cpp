#include "app/command_line.h"

#include <cstring>
#include <initializer_list>

#include "platform/os.h"
#include "ui/user_interface.h"

namespace {

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char la = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    const char lb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (la != lb) return false;
  }
  return *a == *b;
}

bool IsAny(const char* arg, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (SameIgnoringCase(arg, name)) return true;
  }
  return false;
}

// Stores the file name that follows an option at argv[*index] and sets its bit.
// A missing name, or one that does not fit, fails without cutting anything.
// The name is taken as it stands: a POSIX path may well start with "/".
bool TakeFileName(int argc, char** argv, int* index, RunFlag flag, RunFlags& flags,
                  std::string* report_path) {
  if (*index + 1 >= argc || argv[*index + 1] == nullptr) return false;
  const char* file = argv[++*index];
  if (std::strlen(file) > kMaxReportPath) return false;
  if (report_path != nullptr) *report_path = file;
  flags.Set(flag);
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, RunFlags& flags, std::string* report_path) {
  for (int i = 1; i < argc; ++i) {
    char* arg = argv[i];
    if (arg == nullptr) return false;
    if (arg[0] == '/') arg[0] = '-';

    // Tried in this order; the first match decides.
    if (IsAny(arg, {"-h", "?", "-help"})) {
      return false;
    } else if (SameIgnoringCase(arg, "-c")) {
      flags.Set(RunFlag::ShowInstalled);
    } else if (SameIgnoringCase(arg, "-d")) {
      if (!TakeFileName(argc, argv, &i, RunFlag::MakeReport, flags, report_path)) return false;
    } else if (SameIgnoringCase(arg, "-debug")) {
      flags.Set(RunFlag::Debug);
    } else if (IsAny(arg, {"-e", "-rewrite"})) {
      flags.Set(RunFlag::Rewrite);
    } else if (SameIgnoringCase(arg, "-f")) {
      flags.Set(RunFlag::Force);
    } else if (IsAny(arg, {"-g", "-downgrade"})) {
      flags.Set(RunFlag::Downgrade);
    } else if (SameIgnoringCase(arg, "-n")) {
      flags.Set(RunFlag::CheckOnly);
    } else if (std::strstr(arg, "-no_overwrite") != nullptr) {
      // Accepted for the deployment tools that pass it; it has no effect.
    } else if (SameIgnoringCase(arg, "-ql")) {
      flags.Set(RunFlag::VersionOnly);
    } else if (SameIgnoringCase(arg, "-s")) {
      flags.Set(RunFlag::Silent);
    } else if (SameIgnoringCase(arg, "-u")) {
      if (!TakeFileName(argc, argv, &i, RunFlag::UpdateFromReportFile, flags, report_path)) {
        return false;
      }
    } else if (SameIgnoringCase(arg, "-v")) {
      if (!TakeFileName(argc, argv, &i, RunFlag::VersionFile, flags, report_path)) return false;
    } else if (SameIgnoringCase(arg, "-y")) {
      flags.Set(RunFlag::AssumeDefaults);
    } else {
      return false;
    }
  }
  return true;
}

// Rows and columns: 0x2 0x4 0x8 0x10 0x20 0x40 0x80 0x100 0x200 0x400 0x800 0x1000.
const OptionRow OptionCompatibility[12] = {
    //                c  d  e  f  g  n  ql rs s  u  v  y
    {0x0002, /* -c */ {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {0x0004, /* -d */ {0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
    {0x0008, /* -e */ {0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1}},
    {0x0010, /* -f */ {0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1}},
    {0x0020, /* -g */ {0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1}},
    {0x0040, /* -n */ {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
    {0x0080, /* -ql */ {0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1}},
    {0x0100, /* restart */ {0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 1}},
    {0x0200, /* -s */ {0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0}},
    {0x0400, /* -u */ {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1}},
    {0x0800, /* -v */ {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}},
    {0x1000, /* -y */ {0, 0, 1, 1, 1, 0, 1, 1, 0, 1, 0, 1}},
};

bool ValidateOptions(const RunFlags& flags) {
  const uint32_t value = flags.value();
  for (const OptionRow& row : OptionCompatibility) {
    if ((value & row.bit) == 0) continue;
    for (size_t other = 0; other < 12; ++other) {
      if (!row.allow[other] && (value & OptionCompatibility[other].bit) != 0) return false;
    }
  }
  return true;
}

std::string UsageName(const char* program_path) {
  if (program_path == nullptr) return std::string();
  std::string name(program_path);
  for (size_t i = name.size(); i > 0; --i) {
    if (os::IsProgramPathSeparator(name[i - 1])) {
      name.erase(0, i);
      break;
    }
  }
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

void ShowUsage(UserInterface& ui, const char* program_path) {
  ui.Print("USAGE: %s ", UsageName(program_path).c_str());
  ui.Print("[-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n");
  ui.Print("With no options, interactively upgrade firmware.\n");
  ui.Print("-c  Display currently installed firmware information.\n");
  ui.Print("-d <filename>  Generate XML discovery report to <filename>.\n");
  ui.Print(
      "-e  Enable re-write if the current firmware is the same, and upgrade if the current "
      "firmware is older.\n");
  ui.Print("-f  Force all firmware changes to occur.\n");
  ui.Print(
      "-g  Enable downgrade if the current firmware is newer, and upgrade if the current "
      "firmware is older.\n");
  ui.Print("-h  Display this help menu.\n");
  ui.Print("-s  Silently (non-interactively) upgrade firmware. \n");
  ui.Print(
      "-u <filename>  Read XML discovery report from <filename> and perform firmware "
      "upgrade.\n");
  ui.Print("-y  Assume default repsonse for all prompts.\n");
}
