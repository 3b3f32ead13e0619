#include "app/driver.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  os::RestrictLibrarySearch();
  os::KeepRunningWithoutConsole();
  // The run's state lives until the process ends: the log and the console
  // keep what was written to them, every write already flushed.
  Program program;
  return RunProgram(program, argc, argv);
}
