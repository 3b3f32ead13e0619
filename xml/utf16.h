// The platform's UTF-16 text services, used by the file loader. One
// implementation per platform (utf16_posix.cpp, utf16_windows.cpp).
#ifndef KX_XML_UTF16_H_
#define KX_XML_UTF16_H_

#include <cstddef>

namespace kx_xml {

/// True when the bytes look like UTF-16 little-endian text, with or without the
/// FF FE mark.
bool isUtf16Text(const unsigned char* data, size_t size);

/// Converts unitCount UTF-16 little-endian code units to a newly allocated
/// (malloc) NUL-terminated UTF-8 text; null when the units are not valid UTF-16
/// (a lone surrogate) or memory runs out. data is 2-byte aligned.
char* utf16ToUtf8(const unsigned char* data, size_t unitCount);

}  // namespace kx_xml

#endif  // KX_XML_UTF16_H_
