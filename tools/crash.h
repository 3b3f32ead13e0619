// How the simulated flash tool dies by a signal, one implementation per platform.
#ifndef KX_TOOLS_CRASH_H_
#define KX_TOOLS_CRASH_H_

namespace zadiroz {

/// Ends the process as if killed by `signal`: POSIX raises it (without a core
/// file); Windows, which has no signals, ends with a crash-like exit code.
[[noreturn]] void DieBySignal(int signal);

}  // namespace zadiroz

#endif  // KX_TOOLS_CRASH_H_
