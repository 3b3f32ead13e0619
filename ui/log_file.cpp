#include <cstdio>

#include "platform/os.h"
#include "ui/names.h"
#include "ui/user_interface.h"

std::string PrepareLogFile() {
  const char sep = os::PathSeparator();
  const std::string drive = os::SystemDrive();
  const std::string system_dir = drive + sep + kSystemFolderName;
  const std::string log_dir = system_dir + sep + "log";
  std::string path = log_dir + sep + "veskor.log";
  if (path.size() > 259) path.resize(259);
  // Makes the folders where missing and the file; a failure, or a path that
  // someone else controls, shows up later as a log that cannot be opened.
  if (FILE* file = os::OpenLogForAppend(path, true)) fclose(file);
  return path;
}
