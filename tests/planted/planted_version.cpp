// A stand-in for the system's VERSION.dll, as someone might drop one into a
// package folder: when loaded it leaves a marker file (the path in the
// environment variable KX_PLANTED_MARKER), and it answers that no file has a
// version. The Windows build must never load it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const char* marker = std::getenv("KX_PLANTED_MARKER");
    if (marker != nullptr) {
      if (FILE* file = std::fopen(marker, "w")) {
        std::fputs("the planted version.dll was loaded\n", file);
        std::fclose(file);
      }
    }
  }
  return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD handle) {
  if (handle != nullptr) *handle = 0;
  return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
  return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) { return FALSE; }

}  // extern "C"
