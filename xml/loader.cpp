// The file loader: reads the whole file into one buffer, drops a UTF-8 mark or
// converts UTF-16 text to UTF-8, and hands the text to the parser.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml/utf16.h"
#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

// Sizes from here on are 32-bit: a file of 2 GiB or more is refused.
constexpr long kMaxFileSize = INT32_MAX - 4;
// Four NUL bytes after the data, so that a lead byte in the last position can
// never step past the buffer, also not as a UTF-16 unit.
constexpr size_t kTerminators = 4;

XmlElement loadFailure(XmlParseResult* result, XmlErrorCode code) {
  if (result != nullptr) *result = XmlParseResult{code, 0, 0};
  return XmlElement();
}

// Reads the file into a new buffer with the terminators; *size gets the number
// of bytes read. Returns null with *code set when it cannot.
unsigned char* readWholeFile(const char* path, size_t* size, XmlErrorCode* code) {
  *code = kXmlCannotOpenFile;
  std::FILE* file = path == nullptr ? nullptr : std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  // ftell fails (or, with a 64-bit long, reports the size) for 2 GiB and more.
  if (length < 0 || length > kMaxFileSize || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  if (length == 0) {
    std::fclose(file);
    *code = kXmlEmptyFile;
    return nullptr;
  }
  auto* buffer =
      static_cast<unsigned char*>(std::malloc(static_cast<size_t>(length) + kTerminators));
  if (buffer == nullptr) {
    std::fclose(file);
    return nullptr;
  }
  size_t count = std::fread(buffer, 1, static_cast<size_t>(length), file);
  bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed || count == 0) {
    std::free(buffer);
    if (!readFailed) *code = kXmlEmptyFile;
    return nullptr;
  }
  std::memset(buffer + count, 0, kTerminators);
  *size = count;
  *code = kXmlSuccess;
  return buffer;
}

}  // namespace

XmlElement parseXmlFile(const char* path, const char* expectedTag, XmlParseResult* result) {
  if (result != nullptr) *result = XmlParseResult{kXmlSuccess, 0, 0};
  size_t size = 0;
  XmlErrorCode code = kXmlSuccess;
  unsigned char* buffer = readWholeFile(path, &size, &code);
  if (buffer == nullptr) return loadFailure(result, code);

  char* text = reinterpret_cast<char*>(buffer);
  size_t skip = 0;
  if (kXmlOptions.detectUtf16 && isUtf16Text(buffer, size)) {
    if (buffer[0] == 0xFF && buffer[1] == 0xFE) skip = 2;
    // The text ends at the first NUL unit; an odd last byte pairs with a
    // terminator.
    size_t limit = (size - skip + 1) / 2;
    const unsigned char* units = buffer + skip;
    size_t count = 0;
    while (count < limit && (units[2 * count] != 0 || units[2 * count + 1] != 0)) ++count;
    text = utf16ToUtf8(units, count);
    std::free(buffer);
    if (text == nullptr) return loadFailure(result, kXmlUtf16ConversionFailed);
    skip = 0;
  } else if (size >= 3 && buffer[0] == 0xEF && buffer[1] == 0xBB && buffer[2] == 0xBF) {
    skip = 3;
  }
  XmlElement element = parseXmlText(text + skip, expectedTag, result);
  std::free(text);
  return element;
}
