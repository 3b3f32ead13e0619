#include "inventory/xml_fields.h"

#include <cstring>

bool NameIs(const XmlElement& element, const char* name) {
  const char* actual = elementName(element);
  return actual != nullptr && std::strcmp(actual, name) == 0;
}

std::string AttributeText(const XmlElement& element, const char* name) {
  const char* value = attributeValue(element, name, nullptr);
  return value != nullptr ? std::string(value) : std::string();
}
