// How the program's readers take facts out of an XML element: both input files
// name their elements exactly and keep their facts in attributes.
#ifndef KX_INVENTORY_XML_FIELDS_H_
#define KX_INVENTORY_XML_FIELDS_H_

#include <string>

#include "xml/xml.h"

/// True when the element's name is exactly `name` (the library's own lookups
/// ignore letter case; the readers do not). False for the null element.
bool NameIs(const XmlElement& element, const char* name);

/// The value of the attribute `name` (letter case ignored, as the library
/// matches attributes); "" when it is missing or written without a value.
std::string AttributeText(const XmlElement& element, const char* name);

#endif  // KX_INVENTORY_XML_FIELDS_H_
