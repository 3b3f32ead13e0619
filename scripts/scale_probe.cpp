// A measuring aid for scripts/scale.sh, never part of the product. Loaded into
// the utility with LD_PRELOAD, it writes at process exit the CPU time of the
// utility's own process (RUSAGE_SELF) and of the flash tool processes it
// started and waited for (RUSAGE_CHILDREN) to the file named by KX_SCALE_PROBE,
// one line each ("self|children utime_us stime_us"), then "peak_kb <VmHWM>".
// The peak is the process's own memory (VmHWM of /proc/self/status): ru_maxrss
// would also count the pages of the process that forked it before exec.
// It removes LD_PRELOAD and KX_SCALE_PROBE from the environment at load, so the
// flash tool runs unprobed.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Filled once at load; a plain array needs no static constructor.
char probe_path[4096];

long long Microseconds(const timeval& t) {
  return static_cast<long long>(t.tv_sec) * 1000000LL + static_cast<long long>(t.tv_usec);
}

void WriteUsage(FILE* out, const char* label, int who) {
  rusage usage;
  if (getrusage(who, &usage) != 0) return;
  std::fprintf(out, "%s %lld %lld\n", label, Microseconds(usage.ru_utime),
               Microseconds(usage.ru_stime));
}

// The "VmHWM:   1234 kB" line of /proc/self/status.
void WritePeakMemory(FILE* out) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return;
  char line[256];
  long kilobytes = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld", &kilobytes) == 1) break;
  }
  std::fclose(status);
  std::fprintf(out, "peak_kb %ld\n", kilobytes);
}

__attribute__((constructor)) void Load() {
  const char* path = std::getenv("KX_SCALE_PROBE");
  if (path != nullptr && std::strlen(path) < sizeof probe_path) {
    std::strcpy(probe_path, path);
  }
  unsetenv("LD_PRELOAD");
  unsetenv("KX_SCALE_PROBE");
}

__attribute__((destructor)) void Unload() {
  if (probe_path[0] == '\0') return;
  FILE* out = std::fopen(probe_path, "w");
  if (out == nullptr) return;
  WriteUsage(out, "self", RUSAGE_SELF);
  WriteUsage(out, "children", RUSAGE_CHILDREN);
  WritePeakMemory(out);
  std::fclose(out);
}

}  // namespace
