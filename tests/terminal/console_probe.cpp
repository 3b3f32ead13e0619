// Windows build: sets its console's screen buffer to a tall one (the default
// of a new console has 9,001 lines of history), runs the command line it is
// given in the same console, and prints the buffer and window before and after:
//   console_probe "KXVaReviv.exe -h"
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void Show(const char* when) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    std::printf("%s: no console\n", when);
    return;
  }
  std::printf("%s: buffer %dx%d window %dx%d\n", when, info.dwSize.X, info.dwSize.Y,
              info.srWindow.Right - info.srWindow.Left + 1,
              info.srWindow.Bottom - info.srWindow.Top + 1);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const COORD tall = {120, 9001};
  SetConsoleScreenBufferSize(GetStdHandle(STD_OUTPUT_HANDLE), tall);
  Show("before");
  std::string command = argv[1];
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("cannot start %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  Show("after");
  return 0;
}
