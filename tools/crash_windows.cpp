#include <windows.h>

#include "tools/crash.h"

namespace zadiroz {

void DieBySignal(int signal) {
  // The exit codes Windows gives a process that ends by the matching fault.
  UINT code;
  switch (signal) {
    case 4:
      code = 0xC000001Du;  // illegal instruction
      break;
    case 6:
      code = 3;  // what abort() leaves
      break;
    case 8:
      code = 0xC0000094u;  // integer division by zero
      break;
    case 11:
      code = 0xC0000005u;  // access violation
      break;
    default:
      code = 0xC000013Au;  // ended by Ctrl+C
      break;
  }
  TerminateProcess(GetCurrentProcess(), code);
  ExitProcess(code);
}

}  // namespace zadiroz
