// Decoding of "&name;" and "&#n;" references and escaping of the five special
// characters. Both walk whole characters, so bytes inside a multi-byte character
// are never taken for "&" or replaced.
#include "xml/entities.h"

#include <cstring>

#include "xml/xml_internal.h"

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

// Length of the character at text, never beyond the end of the range.
ptrdiff_t charLengthIn(const char* text, ptrdiff_t remaining) {
  ptrdiff_t n = charLength(text);
  return n > remaining ? remaining : n;
}

// Bytes before the first NUL, at most length.
size_t boundedLength(const char* text, ptrdiff_t length) {
  const void* nul = std::memchr(text, '\0', static_cast<size_t>(length));
  return nul == nullptr ? static_cast<size_t>(length)
                        : static_cast<size_t>(static_cast<const char*>(nul) - text);
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

int64_t measureEntities(const char* text, ptrdiff_t length, XmlErrorCode* code) {
  // Most texts hold no "&" at all; then the size is the byte count.
  size_t bytes = boundedLength(text, length);
  if (std::memchr(text, '&', bytes) == nullptr) return static_cast<int64_t>(bytes);
  int64_t size = 0;
  ptrdiff_t i = 0;
  while (i < length && text[i] != '\0') {
    if (text[i] != '&') {
      ptrdiff_t n = charLengthIn(text + i, length - i);
      size += n;
      i += n;
      continue;
    }
    ptrdiff_t remaining = length - i;
    if (isCharRef(text + i, remaining)) {
      ptrdiff_t j = i + 2;
      while (j < length && text[j] != ';' && text[j] != '\0') ++j;
      if (j >= length || text[j] != ';') {
        *code = kXmlBadEntity;
        return -1;
      }
      i = j + 1;
    } else {
      int32_t k = matchEntity(text + i, remaining);
      if (k < 0) {
        *code = kXmlBadEntity;
        return -1;
      }
      i += EntityTable[k].length;
    }
    ++size;
  }
  return size;
}

bool decodeEntities(const char* text, ptrdiff_t length, char* dest, XmlErrorCode* code) {
  size_t bytes = boundedLength(text, length);
  if (std::memchr(text, '&', bytes) == nullptr) {
    if (dest != nullptr) {
      std::memcpy(dest, text, bytes);
      dest[bytes] = '\0';
    }
    return true;
  }
  char* out = dest;
  ptrdiff_t i = 0;
  while (i < length && text[i] != '\0') {
    if (text[i] != '&') {
      ptrdiff_t n = charLengthIn(text + i, length - i);
      if (out != nullptr) {
        std::memcpy(out, text + i, static_cast<size_t>(n));
        out += n;
      }
      i += n;
      continue;
    }
    ptrdiff_t remaining = length - i;
    if (!isCharRef(text + i, remaining)) {
      int32_t k = matchEntity(text + i, remaining);  // found while measuring
      if (out != nullptr) *out++ = EntityTable[k].character;
      i += EntityTable[k].length;
      continue;
    }
    ptrdiff_t j = i + 2;
    int base = 10;
    if (text[j] == 'x' || text[j] == 'X') {
      base = 16;
      ++j;
    }
    int32_t value = 0;
    int32_t digits = 0;
    for (; text[j] != ';'; ++j, ++digits) {
      char c = text[j];
      int32_t d = -1;
      if (c >= '0' && c <= '9') {
        d = c - '0';
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        d = c - 'a' + 10;
      } else if (base == 16 && c >= 'A' && c <= 'F') {
        d = c - 'A' + 10;
      }
      if (d < 0) {
        *code = kXmlBadEntity;
        return false;
      }
      value = value * base + d;
      if (value > 255) value = 256;  // stays "too large" without overflowing
    }
    // "&#;" and "&#0;" would put a NUL into the text and cut it short.
    if (digits == 0 || value == 0) {
      *code = kXmlBadEntity;
      return false;
    }
    if (value > 255) {
      *code = kXmlCharRefTooLarge;
      return false;
    }
    if (out != nullptr) *out++ = static_cast<char>(value);
    i = j + 1;
  }
  if (out != nullptr) *out = '\0';
  return true;
}

size_t escapeText(char* dest, const char* src) {
  if (src == nullptr) return 0;
  size_t size = 0;
  for (const char* p = src; *p != '\0';) {
    int32_t k = escapeIndex(*p);
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
