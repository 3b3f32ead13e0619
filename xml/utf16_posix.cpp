// UTF-16 services on POSIX: a statistical test that stands in for the Windows
// text test, and glibc iconv for the conversion.
#include <iconv.h>

#include <cstdlib>

#include "xml/utf16.h"

namespace kx_xml {

bool isUtf16Text(const unsigned char* data, size_t size) {
  if (size < 2) return false;
  if (data[0] == 0xFF && data[1] == 0xFE) return true;
  if (data[0] == 0xFE && data[1] == 0xFF) return false;  // big-endian mark
  if (size % 2 != 0) return false;
  // XML text is mostly ASCII markup: in UTF-16LE most code units then have a
  // zero high byte and a non-zero low byte. UTF-8 text has no zero bytes.
  size_t units = size / 2;
  size_t asciiUnits = 0;
  for (size_t i = 0; i < units; ++i) {
    if (data[2 * i + 1] == 0 && data[2 * i] != 0) ++asciiUnits;
  }
  return asciiUnits * 2 > units;
}

char* utf16ToUtf8(const unsigned char* data, size_t unitCount) {
  // A code unit becomes at most 3 bytes (a surrogate pair, 2 units, 4 bytes).
  size_t capacity = unitCount * 3 + 1;
  char* out = static_cast<char*>(std::malloc(capacity));
  if (out == nullptr) return nullptr;
  iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    std::free(out);
    return nullptr;
  }
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  size_t inLeft = unitCount * 2;
  char* next = out;
  size_t outLeft = capacity - 1;
  size_t rc = iconv(converter, &in, &inLeft, &next, &outLeft);
  iconv_close(converter);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) {
    std::free(out);
    return nullptr;
  }
  *next = '\0';
  return out;
}

}  // namespace kx_xml
