// Entity and character references: decoding while parsing, escaping while
// writing. Internal to the XML library.
#ifndef KX_XML_ENTITIES_H_
#define KX_XML_ENTITIES_H_

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"

namespace kx_xml {

/// Decodes [text, text + length), a range that holds no NUL byte and is walked
/// in whole characters from its first byte. Writes the result and a NUL to dest
/// (room for the decoded length + 1 bytes; length + 1 always suffices, since
/// decoding never lengthens a text), or only checks and measures when dest is
/// null. Returns the decoded byte length, or -1 with *code set: 12 when any
/// reference in the range is unknown or has no ";" inside the range, otherwise
/// the error of the first bad character reference (12: no digits, a non-digit
/// or the value 0; 13: a value above 255). dest holds nothing useful then.
int64_t decodeEntities(const char* text, ptrdiff_t length, char* dest, XmlErrorCode* code);

/// Writes src escaped (no NUL) to dest, or only counts when dest is null;
/// returns the byte count. A null src counts 0.
size_t escapeText(char* dest, const char* src, const char* following = "");

}  // namespace kx_xml

#endif  // KX_XML_ENTITIES_H_
