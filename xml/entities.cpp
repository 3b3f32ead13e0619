// Decoding of "&name;" and "&#n;" references and escaping of the five special
// characters. Both go by whole characters, so bytes inside a multi-byte
// character are never taken for "&" or replaced; decoding copies the runs
// between references at once.
#include "xml/entities.h"

#include <cstdio>
#include <cstring>

#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

// Index of the EntityTable entry spelled at text (letter case ignored) that
// fits in the remaining bytes, or -1.
int32_t matchEntity(const char* text, ptrdiff_t remaining) {
  for (int32_t k = 0; k < kEntityCount; ++k) {
    const EntityEntry& entry = EntityTable[k];
    if (entry.length > remaining) continue;
    int32_t i = 0;
    while (i < entry.length && asciiLower(text[i]) == entry.entity[i]) ++i;
    if (i == entry.length) return k;
  }
  return -1;
}

bool isCharRef(const char* text, ptrdiff_t remaining) { return remaining > 2 && text[1] == '#'; }

// Position of the first "&" at or after i that starts a character, walking
// whole characters from i (a character start); length when there is none. Runs
// of ordinary bytes are searched with memchr, so the walk byte by byte happens
// only where a lead byte stands just before a "&".
ptrdiff_t nextReference(const char* text, ptrdiff_t i, ptrdiff_t length) {
  while (i < length) {
    const void* hit = std::memchr(text + i, '&', static_cast<size_t>(length - i));
    if (hit == nullptr) return length;
    const ptrdiff_t amp = static_cast<const char*>(hit) - text;
    if (surelyStartsCharacter(text + i, text + amp)) return amp;
    while (i < amp) {
      const int32_t n = ByteLengthTable[static_cast<uint8_t>(text[i])];
      i += n > 0 ? n : 1;
    }
    if (i == amp) return amp;
    // The "&" is part of the character that ends at i (or beyond the range).
  }
  return length;
}

// Value of the digits in [digits, end) of "&#...;" (decimal, or hexadecimal
// after "x"), or the error code.
XmlErrorCode charRefValue(const char* digits, const char* end, char* value) {
  int base = 10;
  if (*digits == 'x' || *digits == 'X') {
    base = 16;
    ++digits;
  }
  if (digits == end) return kXmlBadEntity;
  int32_t n = 0;
  for (const char* p = digits; p < end; ++p) {
    const char c = *p;
    int32_t d = -1;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    }
    if (d < 0) return kXmlBadEntity;
    n = n * base + d;
    if (n > 255) n = 256;  // stays "too large" without overflowing
  }
  // "&#0;" would put a NUL into the text and cut it short.
  if (n == 0) return kXmlBadEntity;
  if (n > 255) return kXmlCharRefTooLarge;
  *value = static_cast<char>(n);
  return kXmlSuccess;
}

int32_t escapeIndex(char c) {
  switch (c) {
    case '&':
      return 0;
    case '<':
      return 1;
    case '>':
      return 2;
    case '"':
      return 3;
    case '\'':
      return 4;
    default:
      return -1;
  }
}

}  // namespace

int64_t kx_xml::decodeEntities(const char* text, ptrdiff_t length, char* dest, XmlErrorCode* code) {
  // An unknown or unterminated reference anywhere makes the range bad (12),
  // whatever comes before it; otherwise the first bad character reference
  // decides. After a reference above 255 the rest is still checked.
  XmlErrorCode charRefError = kXmlSuccess;
  char* out = dest;
  int64_t size = 0;
  ptrdiff_t i = 0;
  for (;;) {
    const ptrdiff_t amp = nextReference(text, i, length);
    if (out != nullptr) {
      std::memcpy(out, text + i, static_cast<size_t>(amp - i));
      out += amp - i;
    }
    size += amp - i;
    if (amp == length) break;
    const char* ref = text + amp;
    const ptrdiff_t remaining = length - amp;
    char decoded = '\0';
    if (isCharRef(ref, remaining)) {
      const void* semicolon = std::memchr(ref + 2, ';', static_cast<size_t>(remaining - 2));
      if (semicolon == nullptr) {
        *code = kXmlBadEntity;
        return -1;
      }
      const char* end = static_cast<const char*>(semicolon);
      if (charRefError == kXmlSuccess) {
        charRefError = charRefValue(ref + 2, end, &decoded);
        if (charRefError == kXmlBadEntity) {
          *code = kXmlBadEntity;
          return -1;
        }
        if (charRefError != kXmlSuccess) out = nullptr;  // nothing more to write
      }
      i = end + 1 - text;
    } else {
      const int32_t k = matchEntity(ref, remaining);
      if (k < 0) {
        *code = kXmlBadEntity;
        return -1;
      }
      decoded = EntityTable[k].character;
      i = amp + EntityTable[k].length;
    }
    if (out != nullptr) *out++ = decoded;
    ++size;
  }
  if (charRefError != kXmlSuccess) {
    *code = charRefError;
    return -1;
  }
  if (out != nullptr) *out = '\0';
  return size;
}

namespace {

// True when the byte at p starts a multi-byte character whose continuation
// bytes are not all there (a lone byte from a character reference such as
// &#233;, or a broken sequence). At the end of the text the bytes that follow
// in the output (following) take their place.
bool isBrokenLeadByte(const char* p, const char* following) {
  int32_t n = ByteLengthTable[static_cast<uint8_t>(*p)];
  const char* next = p + 1;
  for (int32_t i = 1; i < n; ++i) {
    if (*next == '\0' && following != nullptr) {
      next = following;
      following = nullptr;
    }
    if ((static_cast<uint8_t>(*next) & 0xC0) != 0x80) return true;
    ++next;
  }
  return false;
}

}  // namespace

size_t kx_xml::escapeText(char* dest, const char* src, const char* following) {
  if (src == nullptr) return 0;
  size_t size = 0;
  for (const char* p = src; *p != '\0';) {
    int32_t k = escapeIndex(*p);
    if (k < 0 && isBrokenLeadByte(p, following)) {
      // Written verbatim, such a byte would swallow the markup after it when
      // the text is read again; as a character reference it reads back as the
      // same single byte.
      char reference[8];
      std::snprintf(reference, sizeof reference, "&#x%02X;", static_cast<uint8_t>(*p));
      if (dest != nullptr) std::memcpy(dest + size, reference, 6);
      size += 6;
      ++p;
      continue;
    }
    const char* piece = k >= 0 ? EntityTable[k].entity : p;
    size_t n = static_cast<size_t>(k >= 0 ? EntityTable[k].length : charLength(p));
    if (dest != nullptr) std::memcpy(dest + size, piece, n);
    size += n;
    p += k >= 0 ? 1 : n;
  }
  return size;
}

size_t escapedLength(const char* src) { return escapeText(nullptr, src); }

char* escapeXmlText(char* dest, const char* src) {
  if (dest == nullptr) return nullptr;
  dest[escapeText(dest, src)] = '\0';
  return dest;
}
