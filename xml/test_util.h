// Helpers shared by the XML library's tests.
#ifndef KX_XML_TEST_UTIL_H_
#define KX_XML_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>

#include "xml/xml.h"
#include "xml/xml_internal.h"

using namespace kx_xml;  // the tests look at the library's internals

/// Fixture that fails a test which leaves element records (or the blocks that
/// parsed records live in) behind.
class XmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = liveXmlElementCount();
    blocks_ = liveXmlRecordBlockCount();
  }
  void TearDown() override {
    EXPECT_EQ(liveXmlElementCount(), live_) << "element records leaked";
    EXPECT_EQ(liveXmlRecordBlockCount(), blocks_) << "record blocks leaked";
  }

 private:
  int64_t live_ = 0;
  int64_t blocks_ = 0;
};

/// Compact picture of a tree: name (#doc for the nameless node, ? before a
/// declaration), [attributes], then (content) in document order with texts in
/// single quotes and sections with their delimiters.
inline std::string describe(const XmlElement& e) {
  if (e.isNull()) return "null";
  std::string out;
  if (isDeclaration(e)) out += "?";
  out += elementName(e) == nullptr ? "#doc" : elementName(e);
  if (attributeCount(e) > 0) {
    out += "[";
    for (int32_t i = 0; i < attributeCount(e); ++i) {
      XmlAttr a = attributeAt(e, i);
      if (i > 0) out += " ";
      out += a.name;
      if (a.value != nullptr) out += std::string("=") + a.value;
    }
    out += "]";
  }
  if (contentCount(e) > 0) {
    out += "(";
    for (int32_t i = 0; i < contentCount(e); ++i) {
      int32_t entry = contentAt(e, i);
      if (i > 0) out += ",";
      switch (entry & 3) {
        case kXmlContentElement:
          out += describe(childAt(e, entry >> 2));
          break;
        case kXmlContentText:
          out += std::string("'") + textAt(e, entry >> 2) + "'";
          break;
        default: {
          XmlRawSection s = sectionAt(e, entry >> 2);
          out += std::string(s.openTag) + s.value + s.closeTag;
        }
      }
    }
    out += ")";
  }
  return out;
}

/// Renders and frees; "<null>" when rendering gives null.
inline std::string render(const XmlElement& e, bool formatted) {
  size_t length = 99;
  char* text = renderXml(e, formatted, &length);
  if (text == nullptr) return "<null>";
  std::string out(text, length);
  EXPECT_EQ(out.size(), std::string(text).size()) << "length disagrees with the terminator";
  releaseXmlText(text);
  return out;
}

#endif  // KX_XML_TEST_UTIL_H_
