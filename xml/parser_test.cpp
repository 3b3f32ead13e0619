#include <algorithm>
#include <string>
#include <vector>

#include "xml/test_util.h"

namespace {

class ParserTest : public XmlTest {};

struct ParseCase {
  const char* text;
  const char* expectedTag;
  XmlErrorCode code;
  int32_t line;  // checked when code is not 0
  int32_t column;
  const char* tree;  // describe() of the result
};

void checkCases(const ParseCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const ParseCase& c = cases[i];
    SCOPED_TRACE(std::string("input: ") + c.text);
    XmlParseResult result{kXmlNoElement, -1, -1};
    XmlElement e = parseXmlText(c.text, c.expectedTag, &result);
    EXPECT_EQ(result.code, c.code);
    if (c.code != kXmlSuccess) {
      EXPECT_EQ(result.line, c.line);
      EXPECT_EQ(result.column, c.column);
    }
    EXPECT_EQ(describe(e), c.tree);
  }
}

TEST_F(ParserTest, StructureAndWarnings) {
  const ParseCase cases[] = {
      {"<a/>", nullptr, kXmlSuccess, 0, 0, "a"},
      {"<a><b/><c>x</c></a>", nullptr, kXmlSuccess, 0, 0, "a(b,c('x'))"},
      {"<a/><b/>", nullptr, kXmlSuccess, 0, 0, "#doc(a,b)"},
      {"hello<a/>", nullptr, kXmlSuccess, 0, 0, "#doc('hello',a)"},
      {"hello<a/>", "A", kXmlSuccess, 0, 0, "a"},
      {"<a></A>", nullptr, kXmlSuccess, 0, 0, "a"},
      {"<a>x<b/>y</a>", nullptr, kXmlSuccess, 0, 0, "a('x',b,'y')"},
      // An end tag of an ancestor closes every element in between.
      {"<a><b></a>", nullptr, kXmlUnclosedElement, 1, 11, "a(b)"},
      {"<a><b><c></a><d/>", nullptr, kXmlUnclosedElement, 1, 14, "#doc(a(b(c)),d)"},
      {"<a></b>", nullptr, kXmlUnmatchedEndTag, 1, 8, "null"},
      {"<ab></a>", nullptr, kXmlUnmatchedEndTag, 1, 9, "null"},
      {"<a>\n<b>\n</c>", nullptr, kXmlUnmatchedEndTag, 3, 5, "null"},
      {"<a>", nullptr, kXmlUnclosedElement, 1, 4, "a"},
      {"<a><b x='1'", nullptr, kXmlUnclosedElement, 1, 12, "a(b[x=1])"},
      // A stray end tag at the top ends the parse; the rest is ignored.
      {"<a/></b><c/>", nullptr, kXmlUnclosedElement, 1, 9, "a"},
      {"", nullptr, kXmlNoElement, 1, 1, "#doc"},
      {"  \n ", nullptr, kXmlNoElement, 2, 2, "#doc"},
      {"<!-- only -->", nullptr, kXmlNoElement, 1, 14, "#doc(<!-- only -->)"},
      {"<!-- only -->", "a", kXmlExpectedTagMissing, 0, 0, "null"},
      {"text", nullptr, kXmlNoElement, 1, 5, "#doc('text')"},
      {"<a><b/></a>", "b", kXmlSuccess, 0, 0, "b"},
      {"<a><b/></a>", "c", kXmlExpectedTagMissing, 0, 0, "null"},
      {"<a><x><b/></x></a>", "b", kXmlExpectedTagMissing, 0, 0, "null"},
      {"<a></b>", "a", kXmlUnmatchedEndTag, 1, 8, "null"},
  };
  checkCases(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ParserTest, DeclarationsAndAttributes) {
  const ParseCase cases[] = {
      {"<?xml version='1.0'?><root/>", "root", kXmlSuccess, 0, 0, "root"},
      {"<?xml version='1.0'?><root/>", nullptr, kXmlSuccess, 0, 0, "?xml[version=1.0](root)"},
      {"<?xml version=\"1.0\" ?>\n<root/>", nullptr, kXmlSuccess, 0, 0, "?xml[version=1.0](root)"},
      {"<?xml version=1.0?><r/>", nullptr, kXmlSuccess, 0, 0, "?xml[version=1.0](r)"},
      {"<?xml?><r/>", nullptr, kXmlSuccess, 0, 0, "?xml?(r)"},
      {"<?xml version='1.0'?>", nullptr, kXmlSuccess, 0, 0, "?xml[version=1.0]"},
      // Inside an element a declaration closes at "?>".
      {"<a><?pi x?><b/></a>", nullptr, kXmlSuccess, 0, 0, "a(?pi[x],b)"},
      {"<a><?pi x='1'?>t</a>", nullptr, kXmlSuccess, 0, 0, "a(?pi[x=1],'t')"},
      {"<A x=1 y='2' z/>", nullptr, kXmlSuccess, 0, 0, "A[x=1 y=2 z]"},
      {"<a k=\"1\" k='2'/>", nullptr, kXmlSuccess, 0, 0, "a[k=1 k=2]"},
      {"<a v=\"&lt;&#x41;&apos;\" w=''/>", nullptr, kXmlSuccess, 0, 0, "a[v=<A' w=]"},
      {"<a t='x>/y'/>", nullptr, kXmlSuccess, 0, 0, "a[t=x>/y]"},
      {"<a\n  b = 'c' >x</a>", nullptr, kXmlSuccess, 0, 0, "a[b=c]('x')"},
      {"<!ELEMENT x ANY>", nullptr, kXmlUnclosedElement, 1, 17, "!ELEMENT[x ANY]"},
      // An unclosed quote is part of a word, so "<" lands in the start tag.
      {"<a t='x<y'/>", nullptr, kXmlUnexpectedToken, 1, 9, "null"},
      {"<a =>", nullptr, kXmlUnexpectedToken, 1, 5, "null"},
      {"<a b=>", nullptr, kXmlUnexpectedToken, 1, 7, "null"},
      {"<a b c=/>", nullptr, kXmlUnexpectedToken, 1, 10, "null"},
      {"<a>< b/></a>", nullptr, kXmlSuccess, 0, 0, "a(b)"},
      {"<a><>", nullptr, kXmlMissingTagName, 1, 6, "null"},
      {"<a><", nullptr, kXmlMissingTagName, 1, 5, "null"},
      {"<a></a", nullptr, kXmlBadEndTag, 1, 7, "null"},
      {"<a></>", nullptr, kXmlBadEndTag, 1, 7, "null"},
      {"<a></a/>", nullptr, kXmlBadEndTag, 1, 9, "null"},
  };
  checkCases(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ParserTest, TextsEntitiesAndSections) {
  const ParseCase cases[] = {
      {"<a>  x &amp; y  </a>", nullptr, kXmlSuccess, 0, 0, "a('x & y')"},
      {"<a>\n\t \r\n</a>", nullptr, kXmlSuccess, 0, 0, "a"},
      {"<a>one<!-- c -->two</a>", nullptr, kXmlSuccess, 0, 0, "a('onetwo')"},
      {"<a>one<!-- c -->two<!--d--> three</a>", nullptr, kXmlSuccess, 0, 0, "a('onetwothree')"},
      {"<a>one<!-- c --></a>", nullptr, kXmlSuccess, 0, 0, "a('one',<!-- c -->)"},
      {"<a><!-- c -->two</a>", nullptr, kXmlSuccess, 0, 0, "a(<!-- c -->,'two')"},
      {"<a>one<![CDATA[x]]>two</a>", nullptr, kXmlSuccess, 0, 0, "a('one',<![CDATA[x]]>,'two')"},
      {"<a>one<!---->two</a>", nullptr, kXmlSuccess, 0, 0, "a('one','two')"},
      {"<a>&#65;&#x42;&QUOT;</a>", nullptr, kXmlSuccess, 0, 0, "a('AB\"')"},
      {"<a>&#233;</a>", nullptr, kXmlSuccess, 0, 0, "a('\xE9')"},
      {"<a>&#256;</a>", nullptr, kXmlCharRefTooLarge, 1, 12, "null"},
      {"<a>&foo;</a>", nullptr, kXmlBadEntity, 1, 11, "null"},
      {"<a>&#12</a>", nullptr, kXmlBadEntity, 1, 10, "null"},
      {"<a>&#1x;</a>", nullptr, kXmlBadEntity, 1, 11, "null"},
      {"<a>&#;</a>", nullptr, kXmlBadEntity, 1, 9, "null"},
      {"<a>&#0;</a>", nullptr, kXmlBadEntity, 1, 10, "null"},
      {"<a>&</a>", nullptr, kXmlBadEntity, 1, 7, "null"},
      {"<a v='&bad;'/>", nullptr, kXmlBadEntity, 1, 13, "null"},
      {"<a>x</a>&foo;", nullptr, kXmlBadEntity, 1, 14, "null"},
      {"<!DOCTYPE x [ <!ENTITY e 'v'> ]><x/>", nullptr, kXmlSuccess, 0, 0,
       "#doc(<!DOCTYPE x [ <!ENTITY e 'v'> ]>,x)"},
      {"<!DOCTYPE x><x/>", "x", kXmlSuccess, 0, 0, "x"},
      {"<!DOCTYPE x><x/>", nullptr, kXmlSuccess, 0, 0, "#doc(<!DOCTYPE x>,x)"},
      {"<a><!-- never closed", nullptr, kXmlUnclosedSection, 1, 8, "null"},
      {"<a><!DOCTYPE x [ <y> </a>", nullptr, kXmlUnclosedSection, 1, 13, "null"},
      // Without any element the document gives "no element", whatever came first.
      {"<!-- never closed", nullptr, kXmlNoElement, 1, 5, "#doc"},
      {"<a><!----></a>", nullptr, kXmlSuccess, 0, 0, "a"},
      {"<a><![CDATA[<x>&amp;</x>]]></a>", nullptr, kXmlSuccess, 0, 0,
       "a(<![CDATA[<x>&amp;</x>]]>)"},
      {"<a><PRE>  keep  </PRE></a>", nullptr, kXmlSuccess, 0, 0, "a(<PRE>  keep  </PRE>)"},
      {"<a><pre>x</pre></a>", nullptr, kXmlSuccess, 0, 0, "a(pre('x'))"},
      {"<a>'quoted' and \"more\" = > /></a>", nullptr, kXmlSuccess, 0, 0,
       "a(''quoted' and \"more\" = > />')"},
  };
  checkCases(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ParserTest, MultiByteCharactersAreNeverMarkup) {
  const ParseCase cases[] = {
      {"<\xE3\x81\x82 k='\xE3\x81\x82'>\xE3\x81\x82</\xE3\x81\x82>", nullptr, kXmlSuccess, 0, 0,
       "\xE3\x81\x82[k=\xE3\x81\x82]('\xE3\x81\x82')"},
      // The lead byte E3 takes the two bytes after it, "<b" included.
      {"<a>\xE3<b/></a>", nullptr, kXmlSuccess, 0, 0, "a('\xE3<b/>')"},
      // Columns count characters.
      {"<a>\xE3\x81\x82</b>", nullptr, kXmlUnmatchedEndTag, 1, 9, "null"},
      // A lead byte just before the end never steps past the terminator.
      {"<a>x\xF0", nullptr, kXmlUnclosedElement, 1, 6, "a('x\xF0')"},
      {"<a\xE3", nullptr, kXmlUnclosedElement, 1, 4, "a\xE3"},
      // E3 takes the two blanks; trimming then cuts them from its character.
      {"<a>x \xE3  </a>", nullptr, kXmlSuccess, 0, 0, "a('x \xE3')"},
      // ... and an "&" in texts and in quoted or plain attribute values.
      {"<a v='\xE3&amp;' w=\xE3&lt;>\xC3&amp;</a>", nullptr, kXmlSuccess, 0, 0,
       "a[v=\xE3&amp; w=\xE3&lt;]('\xC3&amp;')"},
      {"<a v=&amp;x w=x&lt;/>", nullptr, kXmlSuccess, 0, 0, "a[v=&x w=x<]"},
  };
  checkCases(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ParserTest, TextsJoinedAcrossCommentsAreDecoded) {
  const ParseCase cases[] = {
      {"<a>x&amp;<!--c-->&lt;y<!--d-->&#65;</a>", nullptr, kXmlSuccess, 0, 0, "a('x&<yA')"},
      {"<a>x<!--c-->&#256;</a>", nullptr, kXmlCharRefTooLarge, 1, 21, "null"},
      {"<a>x<!--c-->&#256;&bad;</a>", nullptr, kXmlBadEntity, 1, 26, "null"},
  };
  checkCases(cases, sizeof cases / sizeof cases[0]);
}

// Long texts are searched for "<" and "&" a run at a time; a lead byte close
// before either still takes it into its character.
TEST_F(ParserTest, LongTextsWithReferencesAndMultiByteCharacters) {
  const std::string run(5000, 'w');
  struct Case {
    std::string text;
    std::string tree;
  };
  const Case cases[] = {
      {"<a>" + run + "\xC3\xA9</a>", "a('" + run + "\xC3\xA9')"},
      {"<a>" + run + "\xE3\x81\x82<b/>" + run + "</a>",
       "a('" + run + "\xE3\x81\x82',b,'" + run + "')"},
      {"<a>" + run + "\xE3<b>" + run + "</a>", "a('" + run + "\xE3<b>" + run + "')"},
      {"<a>" + run + "\xF0x<b/>" + run + "</a>", "a('" + run + "\xF0x<b/>" + run + "')"},
      {"<a>" + run + "&amp;" + run + "\xE3&lt;&gt;</a>", "a('" + run + "&" + run + "\xE3&lt;>')"},
      {"<a v='" + run + "&amp;\xC3&amp;'/>", "a[v=" + run + "&\xC3&amp;]"},
      // References that shrink the text by far.
      {"<a>" + std::string(3000, 'x') + "&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;</a>",
       "a('" + std::string(3000, 'x') + "<<<<<<<<<<')"},
      {"<a>&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;</a>", "a('<<<<<<<<<<')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input: " + c.text.substr(0, 60) + "...");
    XmlParseResult result{kXmlNoElement, -1, -1};
    XmlElement e = parseXmlText(c.text.c_str(), nullptr, &result);
    EXPECT_EQ(result.code, kXmlSuccess);
    EXPECT_EQ(describe(e), c.tree);
  }
}

TEST_F(ParserTest, NullTextAndNullResult) {
  XmlParseResult result{kXmlSuccess, 5, 5};
  EXPECT_TRUE(parseXmlText(nullptr, nullptr, &result).isNull());
  EXPECT_EQ(result.code, kXmlNullText);
  EXPECT_EQ(result.line, 0);
  EXPECT_EQ(result.column, 0);
  EXPECT_EQ(describe(parseXmlText("<a/>", "", nullptr)), "a");
}

// What a log shows of a failed parse: the code in words, and the place where
// the parser stopped when it knows one.
TEST_F(ParserTest, ResultsInWords) {
  const struct {
    const char* text;
    const char* expectedTag;
    const char* words;
  } cases[] = {
      {"<a/>", nullptr, "no error"},
      {"<a>\n<b>\n</c>", nullptr, "an end tag that matches no open element at line 3, column 5"},
      {"<a><b></a>", nullptr, "an element is not closed at line 1, column 11"},
      {"<a><b/></a>", "c", "the expected root element is missing"},
      {"<a>&bogus;</a>", nullptr,
       "an unknown or malformed entity or character reference at line 1, column 13"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    XmlParseResult result{};
    parseXmlText(c.text, c.expectedTag, &result);
    EXPECT_EQ(result.description(), c.words);
  }
  EXPECT_EQ((XmlParseResult{kXmlCannotOpenFile, 0, 0}).description(),
            "the file cannot be opened or read");
  EXPECT_EQ((XmlParseResult{static_cast<XmlErrorCode>(99), 2, 7}).description(),
            "unknown error 99 at line 2, column 7");
}

TEST_F(ParserTest, ResultSurvivesItsDocument) {
  XmlElement root = parseXmlText("<?xml version='1.0'?><root><x/></root>", "root", nullptr);
  ASSERT_FALSE(root.isNull());
  EXPECT_TRUE(parentOf(root).isNull());  // the declaration above it is gone
  EXPECT_EQ(xmlRefCount(root), 1);
  EXPECT_EQ(describe(root), "root(x)");
}

std::string nested(int32_t depth) {
  std::string text;
  text.reserve(static_cast<size_t>(depth) * 7);
  for (int32_t i = 0; i < depth; ++i) text += "<e>";
  for (int32_t i = 0; i < depth; ++i) text += "</e>";
  return text;
}

TEST_F(ParserTest, NestingUpToTheLimitParses) {
  XmlParseResult result{};
  XmlElement e = parseXmlText(nested(kXmlMaxNestingDepth).c_str(), nullptr, &result);
  EXPECT_EQ(result.code, kXmlSuccess);
  int32_t depth = 0;
  for (XmlElement cur = e; !cur.isNull(); cur = childAt(cur, 0)) ++depth;
  EXPECT_EQ(depth, kXmlMaxNestingDepth);
}

TEST_F(ParserTest, NestingBeyondTheLimitIsAnError) {
  for (int32_t depth : {kXmlMaxNestingDepth + 1, 1000000}) {
    SCOPED_TRACE(depth);
    std::string text = nested(depth);
    XmlParseResult result{};
    EXPECT_TRUE(parseXmlText(text.c_str(), nullptr, &result).isNull());
    EXPECT_EQ(result.code, kXmlNestingTooDeep);
    EXPECT_EQ(result.line, 1);
    EXPECT_EQ(result.column, (kXmlMaxNestingDepth + 1) * 3);
  }
  std::string unclosed(3000000, '<');
  for (size_t i = 1; i < unclosed.size(); i += 3) unclosed[i] = 'e', unclosed[i + 1] = '>';
  XmlParseResult result{};
  EXPECT_TRUE(parseXmlText(unclosed.c_str(), nullptr, &result).isNull());
  EXPECT_EQ(result.code, kXmlNestingTooDeep);
}

TEST_F(ParserTest, ManyAttributes) {
  const int32_t count = 200000;
  std::string text = "<a";
  for (int32_t i = 0; i < count; ++i)
    text += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
  text += "/>";
  XmlParseResult result{};
  XmlElement e = parseXmlText(text.c_str(), nullptr, &result);
  ASSERT_EQ(result.code, kXmlSuccess);
  EXPECT_EQ(attributeCount(e), count);
  EXPECT_STREQ(attributeValue(e, "N199999", nullptr), "199999");
  XmlAttr last = attributeAt(e, count - 1);
  EXPECT_STREQ(last.name, "n199999");
}

TEST_F(ParserTest, ManySiblingsAndTexts) {
  std::string text = "<a>";
  for (int i = 0; i < 100000; ++i) text += "t<b/>";
  text += "</a>";
  XmlElement e = parseXmlText(text.c_str(), nullptr, nullptr);
  EXPECT_EQ(childCount(e), 100000);
  EXPECT_EQ(textCount(e), 100000);
  EXPECT_EQ(contentAt(e, 199999), 99999 * 4 + kXmlContentElement);
}

// A document of `count` items, each with attributes and a short text, large
// enough to spread its records over many blocks.
std::string items(int32_t count) {
  std::string text = "<list>";
  for (int32_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    text += "<item id=\"" + n + "\" note='a &amp; b'><name>item " + n + "</name></item>";
  }
  return text + "</list>";
}

TEST_F(ParserTest, ParsedElementsAreFreedOneByOneInAnyOrder) {
  const int32_t count = 3000;
  const int64_t blocks = liveXmlRecordBlockCount();
  std::vector<XmlElement> kept;
  {
    XmlElement list = parseXmlText(items(count).c_str(), nullptr, nullptr);
    ASSERT_EQ(childCount(list), count);
    for (int32_t i = 0; i < count; ++i) kept.push_back(childAt(childAt(list, i), 0));
  }
  // Release them in a scattered order; the rest stay whole.
  const size_t stride = 7;  // coprime with count
  for (size_t k = 0; k < kept.size(); ++k) {
    const size_t i = k * stride % kept.size();
    const std::string expected = "name('item " + std::to_string(i) + "')";
    ASSERT_EQ(describe(kept[i]), expected);
    kept[i] = XmlElement();
    if (k + 1 < kept.size()) {
      EXPECT_GT(liveXmlRecordBlockCount(), blocks);
    }
  }
  EXPECT_EQ(liveXmlRecordBlockCount(), blocks);
}

TEST_F(ParserTest, RepeatedParsesGiveTheirMemoryBack) {
  const std::string text = items(500);
  const int64_t blocks = liveXmlRecordBlockCount();
  int64_t firstRoundBlocks = 0;
  int64_t mostBlocks = 0;
  XmlElement survivor;
  for (int32_t round = 0; round < 200; ++round) {
    XmlElement list = parseXmlText(text.c_str(), nullptr, nullptr);
    ASSERT_EQ(childCount(list), 500);
    if (round == 0) firstRoundBlocks = liveXmlRecordBlockCount() - blocks;
    mostBlocks = std::max(mostBlocks, liveXmlRecordBlockCount() - blocks);
    // One leaf of each round outlives it, then goes with the next round.
    survivor = childAt(childAt(list, round % 500), 0);
  }
  EXPECT_EQ(describe(survivor), "name('item 199')");
  // A kept leaf holds only its own block, and no round needs more than the
  // first one did plus the block of the leaf kept from the one before.
  EXPECT_EQ(liveXmlRecordBlockCount() - blocks, 1);
  EXPECT_GT(firstRoundBlocks, 1);
  EXPECT_LE(mostBlocks, firstRoundBlocks + 1);
  survivor = XmlElement();
  EXPECT_EQ(liveXmlRecordBlockCount(), blocks);
}

TEST_F(ParserTest, ParsedElementsMoveAndChangeAfterTheParse) {
  XmlElement target = createRootElement("target", false);
  {
    XmlElement list =
        parseXmlText("<l><e a='1' b=\"x&lt;y\">t<!--c-->u</e><f>v</f></l>", nullptr, nullptr);
    ASSERT_EQ(describe(list), "l(e[a=1 b=x<y]('tu'),f('v'))");
    XmlElement e = childAt(list, 0);
    XmlElement f = childAt(list, 1);
    appendAttr(e, "c", "3");  // unpacks the attributes stored with the record
    EXPECT_TRUE(insertText(f, "w", 0));
    attachElement(target, e, -1);
    attachElement(target, f, -1);
    EXPECT_EQ(describe(list), "l");
  }
  EXPECT_EQ(describe(target), "target(e[a=1 b=x<y c=3]('tu'),f('w','v'))");
  EXPECT_EQ(render(target, false),
            "<target><e a=\"1\" b=\"x&lt;y\" c=\"3\">tu</e><f>wv</f></target>");
}

TEST_F(ParserTest, LongTextsAndAttributeSetsBesideShortOnes) {
  const std::string longText(5000, 'x');
  const std::string longValue(3000, 'v');
  const std::string text = "<a><b>" + longText + "</b><c k='" + longValue + "'>s</c><d>" +
                           std::string(127, 'y') + "</d><e>" + std::string(128, 'z') + "</e></a>";
  XmlElement a = parseXmlText(text.c_str(), nullptr, nullptr);
  ASSERT_EQ(childCount(a), 4);
  EXPECT_EQ(textAt(childAt(a, 0), 0), longText);
  EXPECT_EQ(attributeValue(childAt(a, 1), "k", nullptr), longValue);
  EXPECT_STREQ(textAt(childAt(a, 1), 0), "s");
  EXPECT_EQ(textAt(childAt(a, 2), 0), std::string(127, 'y'));
  EXPECT_EQ(textAt(childAt(a, 3), 0), std::string(128, 'z'));
}

}  // namespace
