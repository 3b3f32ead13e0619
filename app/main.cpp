#include "app/driver.h"

int main(int argc, char** argv) {
  // The run's state lives until the process ends: the log and the console
  // keep what was written to them, every write already flushed.
  Program program;
  return RunProgram(program, argc, argv);
}
