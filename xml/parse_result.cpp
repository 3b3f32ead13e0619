// The parse result in words.
#include <string>

#include "xml/xml.h"

namespace {

const char* codeWords(XmlErrorCode code) {
  switch (code) {
    case kXmlSuccess:
      return "no error";
    case kXmlUnclosedElement:
      return "an element is not closed";
    case kXmlNoElement:
      return "the text holds no element";
    case kXmlEmptyFile:
      return "the file is empty";
    case kXmlMissingTagName:
      return "a tag without a name";
    case kXmlBadEndTag:
      return "a malformed end tag";
    case kXmlUnmatchedEndTag:
      return "an end tag that matches no open element";
    case kXmlUnclosedSection:
      return "a comment, CDATA, DOCTYPE or PRE section without its end";
    case kXmlUnexpectedToken:
      return "a character that is not allowed where it stands";
    case kXmlNullText:
      return "there is no text";
    case kXmlCannotOpenFile:
      return "the file cannot be opened or read";
    case kXmlExpectedTagMissing:
      return "the expected root element is missing";
    case kXmlBadEntity:
      return "an unknown or malformed entity or character reference";
    case kXmlCharRefTooLarge:
      return "a character reference above 255";
    case kXmlUtf16ConversionFailed:
      return "UTF-16 text that cannot be converted";
    case kXmlCannotCreateFile:
      return "the file cannot be created";
    case kXmlWriteFailed:
      return "the file could not be written";
    case kXmlNestingTooDeep:
      return "elements nested too deeply";
  }
  return nullptr;
}

}  // namespace

std::string XmlParseResult::description() const {
  const char* words = codeWords(code);
  std::string text = words != nullptr ? words : "unknown error " + std::to_string(code);
  if (code != kXmlSuccess && line > 0) {
    text += " at line " + std::to_string(line) + ", column " + std::to_string(column);
  }
  return text;
}
