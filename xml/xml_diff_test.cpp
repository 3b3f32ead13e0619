// Differential test of the XML reader against libxml2 (Linux only, test-only
// dependency). A seeded generator writes well-formed documents; both parsers read
// each one and the trees must agree item by item. The writer is checked the same
// way: libxml2 must read our rendering (flat and formatted) back into the tree we
// rendered.
//
// Only what both parsers can express is compared. Our reader trims texts and
// drops blank ones, joins the two texts around a comment (dropping the comment),
// keeps comments and CDATA as verbatim sections and leaves no item for an empty
// comment; libxml2 keeps every text node as written. So libxml2's tree is
// normalised the way our reader works: adjacent text nodes are concatenated,
// trimmed of the same four white-space bytes and dropped when blank, and a text
// that follows "text, comment" is joined onto that text with the comment removed.
// Then names, attributes (in order), texts, comments and CDATA bodies and their
// order must match. The generator stays inside the common ground: character
// references only below 128 and never white space (we trim before decoding,
// libxml2 after), no CR inside texts (libxml2 turns CR LF into LF), only spaces
// inside attribute values (libxml2 normalises tabs and line feeds there), no
// processing instructions (we read them as elements) and no element named PRE (a
// verbatim block for us).

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

// ---- Generator --------------------------------------------------------------

const char* const kElementNames[] = {"a",    "b",     "item",       "Item",   "nic",
                                     "device", "device_id", "fw-item", "v.2",  "_x",
                                     "données", "é",   "あ",         "名前",   "ключ"};
const char* const kAttributeNames[] = {"id", "name", "venid", "x",   "Name", "data-x",
                                       "v.1", "é",   "あい",  "_k",  "rom"};
const char* const kWords[] = {"firmware", "4.0.534", "3F1D", "NIC", "ok", "x=y", "a/b",
                              "?",        "!",       "(1)",  "#",   "é",  "café", "あいう",
                              "données",  "/>",      ">",    "'q'", "\"dq\"", "-->", "{}"};
const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
const char* const kMargins[] = {"", " ", "\n", "\r\n", "\t", "\n  ", "\r\n\t\t", "  \n \t"};
const char* const kInnerSpaces[] = {" ", " ", " ", "  ", "\t", "\n"};

/// Writes random well-formed documents; the same seed gives the same document.
class DocumentGenerator {
 public:
  explicit DocumentGenerator(uint32_t seed) : rng_(seed) {}

  /// A whole document; rootName receives the root element's name.
  std::string Generate(std::string* rootName) {
    out_.clear();
    hasEmptyComment_ = false;
    allowEmptyComments_ = Chance(30);
    const char* root = Pick(kElementNames);
    *rootName = root;
    if (Chance(50)) out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    Margin();
    if (Chance(20)) {
      out_ += Chance(50) ? "<!DOCTYPE " + *rootName + ">"
                         : "<!DOCTYPE " + *rootName + " [ <!ELEMENT " + *rootName + " ANY> ]>";
      Margin();
    }
    if (Chance(30)) Comment();
    Margin();
    Element(root, 0);
    Margin();
    if (Chance(30)) Comment();
    Margin();
    return out_;
  }

  /// True when the last document holds an empty comment. Our reader leaves no
  /// item for it, so the texts on both sides stay two texts; rendered, they touch
  /// and read back as one.
  bool hasEmptyComment() const { return hasEmptyComment_; }

 private:
  static constexpr int kMaxDepth = 6;

  template <size_t N>
  const char* Pick(const char* const (&table)[N]) {
    return table[Below(N)];
  }
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }
  void Margin() { out_ += Pick(kMargins); }

  // One token that is never white space: a word, an entity or a character
  // reference between 33 and 126.
  std::string Token(char forbiddenQuote) {
    const size_t kind = Below(10);
    if (kind < 6) {
      std::string word = Pick(kWords);
      if (forbiddenQuote != 0 && word.find(forbiddenQuote) != std::string::npos) return "w";
      return word;
    }
    if (kind < 8) return Pick(kEntities);
    const int code = 33 + static_cast<int>(Below(94));
    return Chance(50) ? "&#" + std::to_string(code) + ";"
                      : "&#x" + std::string(1, "0123456789ABCDEF"[code / 16]) +
                            std::string(1, "0123456789abcdef"[code % 16]) + ";";
  }

  // Tokens separated by single white-space runs, starting and ending with a token.
  std::string Words(size_t maxTokens, char forbiddenQuote, bool spacesOnly) {
    std::string text = Token(forbiddenQuote);
    for (size_t n = Below(maxTokens); n > 0; --n) {
      text += spacesOnly ? " " : Pick(kInnerSpaces);
      text += Token(forbiddenQuote);
    }
    return text;
  }

  void Text() {
    Margin();
    out_ += Words(8, 0, false);
    Margin();
  }

  void Comment() {
    static const char* const kBodies[] = {" note ", "a < b & c > d", "é あ", "<b>x</b>",
                                          " spaced out ", "x"};
    const char* body = Pick(kBodies);
    if (allowEmptyComments_ && Chance(15)) {
      body = "";
      hasEmptyComment_ = true;
    }
    out_ += "<!--";
    out_ += body;
    out_ += "-->";
  }

  void Cdata() {
    static const char* const kBodies[] = {"x", " <tag attr='1'> &amp; ", "a]]b", "if (a<b) {}",
                                          "\n  lines\n  ", "é あ"};
    out_ += "<![CDATA[";
    out_ += Pick(kBodies);
    out_ += "]]>";
  }

  void Attributes() {
    std::vector<const char*> used;
    for (size_t n = Below(5); n > 0; --n) {
      const char* name = Pick(kAttributeNames);
      bool duplicate = false;
      for (const char* u : used) duplicate = duplicate || std::strcmp(u, name) == 0;
      if (duplicate) continue;
      used.push_back(name);
      out_ += Chance(80) ? " " : "\n\t";
      out_ += name;
      out_ += Chance(85) ? "=" : " = ";
      const char quote = Chance(70) ? '"' : '\'';
      out_ += quote;
      if (!Chance(10)) out_ += Words(4, quote, true);
      out_ += quote;
    }
  }

  void Element(const char* name, int depth) {
    out_ += '<';
    out_ += name;
    Attributes();
    const size_t items = depth >= kMaxDepth ? Below(2) : Below(7);
    if (items == 0 && Chance(70)) {
      out_ += Chance(50) ? "/>" : " />";
      return;
    }
    out_ += '>';
    bool lastWasText = false;
    bool lastWasCdata = false;
    for (size_t i = 0; i < items; ++i) {
      const size_t kind = Below(10);
      const bool wasText = lastWasText;
      const bool wasCdata = lastWasCdata;
      lastWasText = false;
      lastWasCdata = false;
      if (kind < 4 && depth < kMaxDepth) {
        Element(Pick(kElementNames), depth + 1);
      } else if (kind < 7 && !wasText) {
        // Never two texts in a row: they would read as one piece whose inner
        // white space could hold a CR.
        Text();
        lastWasText = true;
      } else if (kind < 9 || wasCdata) {
        // Never two CDATA sections in a row: libxml2 merges them into one node.
        Comment();
      } else {
        Cdata();
        lastWasCdata = true;
      }
      if (!lastWasText && Chance(40)) Margin();
    }
    out_ += "</";
    out_ += name;
    out_ += Chance(80) ? ">" : " >";
  }

  std::mt19937 rng_;
  std::string out_;
  bool hasEmptyComment_ = false;
  bool allowEmptyComments_ = false;
};

// ---- A neutral form of a tree --------------------------------------------------

// Dumps a tree as indented lines, one per element, attribute and content item, so
// that a mismatch shows as a readable string difference.
void DumpLine(std::string* out, int depth, const std::string& line) {
  out->append(static_cast<size_t>(depth) * 2, ' ');
  *out += line;
  *out += '\n';
}

std::string Quoted(const char* text) { return text == nullptr ? "(null)" : "[" + std::string(text) + "]"; }

void DumpOurs(const XmlElement& element, int depth, std::string* out) {
  DumpLine(out, depth, "element " + Quoted(elementName(element)));
  for (int32_t i = 0; i < attributeCount(element); ++i) {
    const XmlAttr attr = attributeAt(element, i);
    DumpLine(out, depth + 1, "@" + Quoted(attr.name) + "=" + Quoted(attr.value));
  }
  for (int32_t position = 0; position < contentCount(element); ++position) {
    const int32_t entry = contentAt(element, position);
    const int32_t index = entry / 4;
    switch (entry % 4) {
      case kXmlContentElement:
        DumpOurs(childAt(element, index), depth + 1, out);
        break;
      case kXmlContentText:
        DumpLine(out, depth + 1, "text " + Quoted(textAt(element, index)));
        break;
      case kXmlContentSection: {
        const XmlRawSection section = sectionAt(element, index);
        const char* kind = std::strcmp(section.openTag, "<!--") == 0        ? "comment "
                           : std::strcmp(section.openTag, "<![CDATA[") == 0 ? "cdata "
                                                                             : "other ";
        DumpLine(out, depth + 1, kind + Quoted(section.value));
        break;
      }
      default:
        DumpLine(out, depth + 1, "bad entry " + std::to_string(entry));
    }
  }
}

std::string Trim(const std::string& text) {
  const char* kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::string NodeText(const xmlNode* node) {
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content == nullptr ? "" : reinterpret_cast<const char*>(content);
  xmlFree(content);
  return text;
}

// libxml2's element in the shape our reader gives it (see the top of the file).
void DumpLibxml2(const xmlNode* element, int depth, std::string* out) {
  DumpLine(out, depth, "element " + Quoted(reinterpret_cast<const char*>(element->name)));
  for (const xmlAttr* attr = element->properties; attr != nullptr; attr = attr->next) {
    DumpLine(out, depth + 1,
             "@" + Quoted(reinterpret_cast<const char*>(attr->name)) + "=" +
                 Quoted(NodeText(reinterpret_cast<const xmlNode*>(attr)).c_str()));
  }

  enum Kind { kElement, kText, kComment, kCdata };
  struct Item {
    Kind kind;
    std::string text;      // text, comment or CDATA body
    const xmlNode* child;  // kElement
  };
  std::vector<Item> items;
  std::string pending;
  auto flush = [&]() {
    const std::string text = Trim(pending);
    pending.clear();
    if (text.empty()) return;
    const size_t n = items.size();
    if (n >= 2 && items[n - 1].kind == kComment && items[n - 2].kind == kText) {
      items.pop_back();
      items.back().text += text;
    } else {
      items.push_back({kText, text, nullptr});
    }
  };
  for (const xmlNode* node = element->children; node != nullptr; node = node->next) {
    switch (node->type) {
      case XML_TEXT_NODE:
        pending += reinterpret_cast<const char*>(node->content);
        break;
      case XML_ELEMENT_NODE:
        flush();
        items.push_back({kElement, "", node});
        break;
      case XML_COMMENT_NODE:
      case XML_CDATA_SECTION_NODE: {
        flush();
        const std::string body = NodeText(node);
        if (!body.empty()) items.push_back({node->type == XML_COMMENT_NODE ? kComment : kCdata, body, nullptr});
        break;
      }
      default:
        DumpLine(out, depth + 1, "unexpected node type " + std::to_string(node->type));
    }
  }
  flush();
  for (const Item& item : items) {
    switch (item.kind) {
      case kElement:
        DumpLibxml2(item.child, depth + 1, out);
        break;
      case kText:
        DumpLine(out, depth + 1, "text " + Quoted(item.text.c_str()));
        break;
      case kComment:
        DumpLine(out, depth + 1, "comment " + Quoted(item.text.c_str()));
        break;
      case kCdata:
        DumpLine(out, depth + 1, "cdata " + Quoted(item.text.c_str()));
        break;
    }
  }
}

// Reads text with libxml2 and dumps its root element; an error text when
// libxml2 rejects it.
std::string Libxml2Dump(const char* text, size_t length) {
  xmlDocPtr doc = xmlReadMemory(text, static_cast<int>(length), "generated.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOWARNING);
  if (doc == nullptr) return "libxml2 rejected the text";
  std::string dump;
  DumpLibxml2(xmlDocGetRootElement(doc), 0, &dump);
  xmlFreeDoc(doc);
  return dump;
}

std::string OurDump(const XmlElement& root) {
  std::string dump;
  DumpOurs(root, 0, &dump);
  return dump;
}

std::string Rendered(const XmlElement& root, bool formatted) {
  size_t length = 0;
  char* text = renderXml(root, formatted, &length);
  std::string copy = text == nullptr ? "" : std::string(text, length);
  releaseXmlText(text);
  return copy;
}

// Empty when both dumps agree; otherwise the first line that differs with a little
// context, which reads better than two whole dumps.
std::string Difference(const std::string& ours, const std::string& theirs) {
  if (ours == theirs) return "";
  size_t at = 0;
  while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
  const size_t lineStart = ours.rfind('\n', at == 0 ? 0 : at - 1);
  const size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
  return "ours:\n" + ours.substr(from, 300) + "\nlibxml2:\n" + theirs.substr(from, 300);
}

constexpr uint32_t kFirstSeed = 20240601;
constexpr uint32_t kDocuments = 3000;

TEST(XmlDiffTest, GeneratedDocumentsReadLikeLibxml2) {
  uint32_t rendered = 0;
  for (uint32_t seed = kFirstSeed; seed < kFirstSeed + kDocuments; ++seed) {
    DocumentGenerator generator(seed);
    std::string rootName;
    const std::string doc = generator.Generate(&rootName);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", document:\n" + doc);

    XmlParseResult result{};
    XmlElement root = parseXmlText(doc.c_str(), rootName.c_str(), &result);
    ASSERT_EQ(result.code, kXmlSuccess) << "line " << result.line << " column " << result.column;
    ASSERT_FALSE(root.isNull());
    const std::string ours = OurDump(root);
    ASSERT_EQ("", Difference(ours, Libxml2Dump(doc.data(), doc.size())));

    // The writer's output is XML that libxml2 reads back into the same tree.
    if (!generator.hasEmptyComment()) {
      for (bool formatted : {false, true}) {
        SCOPED_TRACE(formatted ? "formatted rendering" : "flat rendering");
        const std::string text = Rendered(root, formatted);
        ASSERT_EQ("", Difference(ours, Libxml2Dump(text.data(), text.size()))) << text;
      }
      ++rendered;
    }
  }
  EXPECT_GT(rendered, kDocuments / 2);
}

// The generator must reach the cases it is there for; otherwise the comparison
// above proves little.
TEST(XmlDiffTest, GeneratorCoversTheInterestingCases) {
  struct Feature {
    const char* needle;
    int seen;
  } features[] = {{"<?xml", 0},     {"<!DOCTYPE", 0}, {"<!---->", 0},  {"<![CDATA[", 0},
                  {"&amp;", 0},     {"&apos;", 0},    {"&#x", 0},      {"é", 0},
                  {"あ", 0},        {"\r\n", 0},      {"/>", 0},       {"='", 0},
                  {"-->", 0}};
  for (uint32_t seed = kFirstSeed; seed < kFirstSeed + 200; ++seed) {
    DocumentGenerator generator(seed);
    std::string rootName;
    const std::string doc = generator.Generate(&rootName);
    for (Feature& f : features) f.seen += doc.find(f.needle) != std::string::npos ? 1 : 0;
  }
  for (const Feature& f : features) EXPECT_GT(f.seen, 10) << f.needle;
}

// A million nested elements end the parse with the nesting code instead of
// exhausting the stack; just below the limit the tree is built, rendered and freed.
TEST(XmlDiffTest, DeepNestingEndsCleanly) {
  struct Case {
    int32_t depth;
    bool closed;
    XmlErrorCode code;
  } const cases[] = {
      {1000000, false, kXmlNestingTooDeep},
      {1000000, true, kXmlNestingTooDeep},
      {kXmlMaxNestingDepth + 1, true, kXmlNestingTooDeep},
      {kXmlMaxNestingDepth, true, kXmlSuccess},
      {kXmlMaxNestingDepth, false, kXmlUnclosedElement},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth) + (c.closed ? " closed" : " open"));
    std::string doc;
    for (int32_t i = 0; i < c.depth; ++i) doc += "<a>";
    if (c.closed) {
      for (int32_t i = 0; i < c.depth; ++i) doc += "</a>";
    }
    XmlParseResult result{};
    XmlElement root = parseXmlText(doc.c_str(), nullptr, &result);
    EXPECT_EQ(result.code, c.code);
    if (c.code == kXmlNestingTooDeep) {
      EXPECT_TRUE(root.isNull());
      continue;
    }
    ASSERT_FALSE(root.isNull());
    std::string closed;
    for (int32_t i = 0; i < c.depth - 1; ++i) closed += "<a>";
    closed += "<a/>";
    for (int32_t i = 0; i < c.depth - 1; ++i) closed += "</a>";
    // Flat only: the formatted text of this tree holds about depth² tabs.
    EXPECT_EQ(Rendered(root, false), closed);
  }
}

}  // namespace
