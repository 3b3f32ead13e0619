#include <cstdio>

#include "platform/os.h"
#include "ui/user_interface.h"

std::string PrepareLogFile() {
  const char sep = os::PathSeparator();
  const std::string drive = os::SystemDrive();
  const std::string system_dir = drive + sep + "zpxsystem";
  const std::string log_dir = system_dir + sep + "log";
  // Both usually exist already; a failure shows up later as a log that cannot be opened.
  os::MakeDirectory(system_dir);
  os::MakeDirectory(log_dir);
  std::string path = log_dir + sep + "veskor.log";
  if (path.size() > 259) path.resize(259);
  if (FILE* file = fopen(path.c_str(), "a")) fclose(file);
  return path;
}
