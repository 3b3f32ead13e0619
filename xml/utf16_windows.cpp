// UTF-16 services on Windows: IsTextUnicode with all its tests and
// WideCharToMultiByte into UTF-8.
#include <windows.h>

#include <climits>
#include <cstdlib>

#include "xml/utf16.h"

namespace kx_xml {

bool isUtf16Text(const unsigned char* data, size_t size) {
  if (size > INT_MAX) return false;
  // A null result pointer asks for every test.
  return IsTextUnicode(data, static_cast<int>(size), nullptr) != FALSE;
}

char* utf16ToUtf8(const unsigned char* data, size_t unitCount) {
  if (unitCount > INT_MAX / 3) return nullptr;
  if (unitCount == 0) return static_cast<char*>(std::calloc(1, 1));
  const auto* wide = reinterpret_cast<const wchar_t*>(data);
  int count = static_cast<int>(unitCount);
  int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;
  char* out = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
  if (out == nullptr) return nullptr;
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, out, size, nullptr,
                          nullptr) != size) {
    std::free(out);
    return nullptr;
  }
  out[size] = '\0';
  return out;
}

}  // namespace kx_xml
