#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "xml/test_util.h"

namespace {

class WriterTest : public XmlTest {};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path tempPath(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("kx_xml_writer_") + name);
}

XmlElement sampleTree() {
  XmlElement a = createRootElement("a", false);
  attachElement(a, createRootElement("b", false), -1);
  XmlElement c = createRootElement("c", false);
  insertText(c, "x < y", -1);
  attachElement(a, c, -1);
  return a;
}

TEST_F(WriterTest, RendersTreesExactly) {
  struct Case {
    const char* source;  // parsed, then rendered
    const char* unformatted;
    const char* formatted;
  };
  const Case cases[] = {
      {"<e/>", "<e/>", "<e/>\n"},
      {"<e k='1' f/>", "<e k=\"1\" f/>", "<e k=\"1\" f/>\n"},
      {"<e a='a&quot;b&amp;c' b=\"it's\"/>", "<e a=\"a&quot;b&amp;c\" b=\"it&apos;s\"/>",
       "<e a=\"a&quot;b&amp;c\" b=\"it&apos;s\"/>\n"},
      {"<a><b/><c>x &lt; y</c></a>", "<a><b/><c>x &lt; y</c></a>",
       "<a>\n\t<b/>\n\t<c>x &lt; y</c>\n</a>\n"},
      {"<a>t<b>u</b>v</a>", "<a>t<b>u</b>v</a>", "<a>\n\tt\n\t<b>u</b>\n\tv\n</a>\n"},
      {"<a><b/><!-- c --></a>", "<a><b/><!-- c --></a>", "<a>\n\t<b/>\n\t<!-- c -->\n</a>\n"},
      {"<a><b><!--deep--></b></a>", "<a><b><!--deep--></b></a>",
       "<a>\n\t<b>\n\t\t<!--deep-->\n\t</b>\n</a>\n"},
      {"<a><![CDATA[<&>]]></a>", "<a><![CDATA[<&>]]></a>", "<a>\n\t<![CDATA[<&>]]>\n</a>\n"},
      {"<?xml version='1.0'?><r><s/></r>", "<?xml version=\"1.0\"?><r><s/></r>",
       "<?xml version=\"1.0\"?>\n<r>\n\t<s/>\n</r>\n"},
      {"<a><?pi x?></a>", "<a><?pi x?></a>", "<a>\n\t<?pi x?>\n</a>\n"},
      {"hi<a/>", "hi<a/>", "\thi\n<a/>\n"},
      {"<\xE3\x81\x82>\xE3\x81\x82&amp;</\xE3\x81\x82>",
       "<\xE3\x81\x82>\xE3\x81\x82&amp;</\xE3\x81\x82>",
       "<\xE3\x81\x82>\xE3\x81\x82&amp;</\xE3\x81\x82>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    XmlParseResult result{};
    XmlElement e = parseXmlText(c.source, nullptr, &result);
    ASSERT_EQ(result.code, kXmlSuccess);
    EXPECT_EQ(render(e, false), c.unformatted);
    EXPECT_EQ(render(e, true), c.formatted);
  }
}

TEST_F(WriterTest, RendersBuiltTrees) {
  XmlElement a = sampleTree();
  EXPECT_EQ(render(a, true), "<a>\n\t<b/>\n\t<c>x &lt; y</c>\n</a>\n");
  EXPECT_EQ(render(a, false), "<a><b/><c>x &lt; y</c></a>");

  XmlElement decl = createRootElement("xml", true);
  appendAttr(decl, "version", "1.0");
  EXPECT_EQ(render(decl, false), "<?xml version=\"1.0\"?>");
  attachElement(decl, a, -1);
  EXPECT_EQ(render(decl, true), "<?xml version=\"1.0\"?>\n<a>\n\t<b/>\n\t<c>x &lt; y</c>\n</a>\n");

  // An empty text writes nothing, not even its indentation.
  XmlElement e = createRootElement("e", false);
  insertText(e, "", -1);
  EXPECT_EQ(render(e, true), "<e></e>\n");
  insertText(e, "", -1);
  EXPECT_EQ(render(e, true), "<e>\n</e>\n");
  // Attributes without a name are skipped.
  XmlElement f = createRootElement("f", false);
  appendAttr(f, "", "skipped");
  appendAttr(f, "k", "v");
  EXPECT_EQ(render(f, false), "<f k=\"v\"/>");

  EXPECT_EQ(render(XmlElement(), false), "<null>");
  size_t length = 7;
  EXPECT_EQ(renderXml(XmlElement(), true, &length), nullptr);
  EXPECT_EQ(length, 0u);
}

TEST_F(WriterTest, FormattedDeepTreeMeasuresWhatItWrites) {
  const int32_t depth = 3000;
  XmlElement top = createRootElement("e", false);
  XmlElement current = top;
  for (int32_t i = 1; i < depth; ++i) {
    XmlElement next = createRootElement("e", false);
    attachElement(current, next, -1);
    current = next;
  }
  insertText(current, "t", -1);
  insertText(current, "u", -1);
  std::string text = render(top, true);
  // Level i (from 0) has i tabs on its two lines; the innermost holds two
  // text lines one tab deeper.
  size_t expected = 0;
  for (size_t i = 0; i < depth; ++i) expected += 2 * i + 4 + 5;
  expected += 2 * (depth + 2);
  EXPECT_EQ(text.size(), expected);
  EXPECT_EQ(text.substr(0, 8), "<e>\n\t<e>");
}

TEST_F(WriterTest, Escaping) {
  struct Case {
    const char* source;
    const char* escaped;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"<&>\"'", "&lt;&amp;&gt;&quot;&apos;"},
      {"a\"b&c", "a&quot;b&amp;c"},
      {"\xE3\x81\x82<", "\xE3\x81\x82&lt;"},
      {"\xC3\xA9 ok", "\xC3\xA9 ok"},
      // A lead byte without its continuation bytes would swallow what follows
      // when read again: it is written as a character reference.
      {"\xE3", "&#xE3;"},
      {"4.0 \xE9\"x", "4.0 &#xE9;&quot;x"},
      {"\xF0\x9F\x98<", "&#xF0;\x9F\x98&lt;"},
      {"\xC3" "A", "&#xC3;A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(escapedLength(c.source), std::string(c.escaped).size());
    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(escapeXmlText(buffer, c.source), buffer);
    EXPECT_STREQ(buffer, c.escaped);
  }
  // Such a byte reads back as itself, and the markup after it stays intact.
  for (const char* value : {"4.0.534 \xE9", "\xE9", "a\xF4\x80" "b"}) {
    SCOPED_TRACE(value);
    XmlElement root = createRootElement("r", false);
    appendAttr(root, "value", value);
    XmlElement child = createRootElement("c", false);
    attachElement(root, child, -1);
    char* text = renderXml(root, true, nullptr);
    XmlParseResult result{};
    XmlElement again = parseXmlText(text, "r", &result);
    releaseXmlText(text);
    EXPECT_EQ(result.code, kXmlSuccess);
    ASSERT_NE(attributeValue(again, "value", nullptr), nullptr);
    EXPECT_STREQ(attributeValue(again, "value", nullptr), value);
    EXPECT_EQ(childCount(again), 1);
  }
  char buffer[4] = "abc";
  EXPECT_EQ(escapedLength(nullptr), 0u);
  EXPECT_STREQ(escapeXmlText(buffer, nullptr), "");
  EXPECT_EQ(escapeXmlText(nullptr, "x"), nullptr);
}

TEST_F(WriterTest, SaveWritesMarkDeclarationAndTree) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  std::filesystem::path path = tempPath("save.xml");
  XmlElement a = sampleTree();
  EXPECT_EQ(saveXmlFile(a, path.string().c_str(), nullptr, true), kXmlSuccess);
  EXPECT_EQ(readFile(path), bom + declaration + "<a>\n\t<b/>\n\t<c>x &lt; y</c>\n</a>\n");
  EXPECT_EQ(saveXmlFile(a, path.string().c_str(), "latin-1", false), kXmlSuccess);
  EXPECT_EQ(readFile(path), bom + declaration + "<a><b/><c>x &lt; y</c></a>");

  // A tree that starts with a declaration gets no second one.
  XmlElement decl = parseXmlText("<?xml version='1.0'?><r/>", nullptr, nullptr);
  EXPECT_EQ(saveXmlFile(decl, path.string().c_str(), nullptr, true), kXmlSuccess);
  EXPECT_EQ(readFile(path), bom + "<?xml version=\"1.0\"?>\n<r/>\n");
  XmlElement doc = parseXmlText("<!--x--><?xml version='1.0'?><r/>", nullptr, nullptr);
  ASSERT_EQ(elementName(doc), nullptr);
  EXPECT_EQ(saveXmlFile(doc, path.string().c_str(), nullptr, false), kXmlSuccess);
  EXPECT_EQ(readFile(path), bom + "<!--x--><?xml version=\"1.0\"?><r/>");

  // What was saved loads again as the same tree.
  EXPECT_EQ(saveXmlFile(a, path.string().c_str(), nullptr, true), kXmlSuccess);
  XmlParseResult result{};
  XmlElement loaded = parseXmlFile(path.string().c_str(), "a", &result);
  EXPECT_EQ(result.code, kXmlSuccess);
  EXPECT_EQ(describe(loaded), describe(a));
  std::filesystem::remove(path);
}

TEST_F(WriterTest, SaveFailures) {
  std::filesystem::path path = tempPath("never.xml");
  std::filesystem::remove(path);
  EXPECT_EQ(saveXmlFile(XmlElement(), path.string().c_str(), nullptr, true), kXmlSuccess);
  EXPECT_FALSE(std::filesystem::exists(path));

  XmlElement a = sampleTree();
  std::filesystem::path missingDir = tempPath("no-such-dir") / "out.xml";
  EXPECT_EQ(saveXmlFile(a, missingDir.string().c_str(), nullptr, true), kXmlCannotCreateFile);
  EXPECT_EQ(saveXmlFile(a, nullptr, nullptr, true), kXmlCannotCreateFile);

  // Nothing to write after the mark is a failed write.
  XmlElement empty = createRootElement("", false);
  EXPECT_EQ(saveXmlFile(empty, path.string().c_str(), nullptr, true), kXmlWriteFailed);
  std::filesystem::remove(path);
}

TEST_F(WriterTest, SaveToAFullDeviceFails) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  XmlElement a = sampleTree();
  XmlErrorCode code = saveXmlFile(a, "/dev/full", nullptr, true);
  if (code == kXmlCannotCreateFile) GTEST_SKIP() << "/dev/full cannot be opened here";
  EXPECT_EQ(code, kXmlWriteFailed);
}

TEST_F(WriterTest, RoundTrips) {
  const char* documents[] = {
      "<a/>",
      "<a x='1' y=\"&lt;&amp;&gt;&quot;&apos;\" z><b>text &amp; more</b><c/>tail</a>",
      "<?xml version='1.0' encoding='utf-8'?><root><item id='1'>one</item><!-- note --></root>",
      "<!DOCTYPE r [ <!ENTITY e 'v'> ]><r><![CDATA[ raw <stuff> ]]><PRE> pre </PRE></r>",
      "<r>a<b/>c<d>e<f>g</f>h</d>i</r>",
      ("<nic_list><device busnumber='3' mac='02:11:22:33:44:55'><firmware_id>1.2.3</firmware_id>"
       "</device><device/></nic_list>"),
      "<\xE3\x81\x82 k='\xE3\x81\x82'>\xE3\x81\x82</\xE3\x81\x82>",
      "lead<a/><b/>",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    XmlParseResult result{};
    XmlElement original = parseXmlText(document, nullptr, &result);
    ASSERT_EQ(result.code, kXmlSuccess);
    for (bool formatted : {false, true}) {
      std::string text = render(original, formatted);
      XmlElement again = parseXmlText(text.c_str(), nullptr, &result);
      EXPECT_EQ(result.code, kXmlSuccess) << text;
      EXPECT_EQ(describe(again), describe(original)) << text;
      EXPECT_EQ(render(again, formatted), text);
    }
  }
}

// Texts that an empty comment keeps apart in the tree are written next to each
// other, and a reader joins them: a character split across them must be
// written the same way before and after that join.
TEST_F(WriterTest, FlatRenderingIsStableWhenAdjacentTextsJoin) {
  struct Case {
    const char* source;
    const char* flat;
  };
  const Case cases[] = {
      {"\xDF\xDF<!---->\x8C", "&#xDF;\xDF\x8C"},
      {"<r>&#xE2;<!---->&#x82;<!---->&#xAC;</r>", "<r>\xE2\x82\xAC</r>"},
      {"<r>&#xE2;&#x82;<!---->&#xAC;!</r>", "<r>\xE2\x82\xAC!</r>"},
      {"<r>&#xC3;<!---->A</r>", "<r>&#xC3;A</r>"},
      {"<r>&#xC3;<b/>&#xA9;</r>", "<r>&#xC3;<b/>\xA9</r>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    XmlParseResult result{};
    XmlElement first = parseXmlText(c.source, nullptr, &result);
    ASSERT_FALSE(first.isNull());
    const std::string flat = render(first, false);
    EXPECT_EQ(flat, c.flat);
    XmlElement again = parseXmlText(flat.c_str(), nullptr, &result);
    EXPECT_EQ(render(again, false), flat);
  }
}

}  // namespace
