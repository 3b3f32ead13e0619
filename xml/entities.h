// Entity and character references: decoding while parsing, escaping while
// writing. Internal to the XML library.
#ifndef KX_XML_ENTITIES_H_
#define KX_XML_ENTITIES_H_

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"

/// Byte length of [text, text + length) after decoding (stopping early at a
/// NUL), or -1 with *code set to 12 when a named entity is unknown or a
/// character reference lacks its ";" inside the range.
int64_t measureEntities(const char* text, ptrdiff_t length, XmlErrorCode* code);

/// Writes the decoded range and a NUL to dest (measureEntities + 1 bytes), or
/// only checks the references when dest is null. Call after measureEntities.
/// Returns false with *code set to 12 for a character reference with no digits,
/// a non-digit or the value 0, and to 13 for a value above 255.
bool decodeEntities(const char* text, ptrdiff_t length, char* dest, XmlErrorCode* code);

/// Writes src escaped (no NUL) to dest, or only counts when dest is null;
/// returns the byte count. A null src counts 0.
size_t escapeText(char* dest, const char* src);

#endif  // KX_XML_ENTITIES_H_
