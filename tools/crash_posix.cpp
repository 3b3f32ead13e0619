#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include "tools/crash.h"

namespace zadiroz {

void DieBySignal(int signal) {
  // No core file in the test's directory for SIGSEGV or SIGABRT.
  struct rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  std::_Exit(128 + signal);  // a signal whose default action does not end the process
}

}  // namespace zadiroz
