#include "xml/entities.h"

#include <gtest/gtest.h>

#include <string>

using namespace kx_xml;

namespace {

// Decodes the whole of text; the decoded string, or "error N".
std::string decode(const std::string& text) {
  XmlErrorCode code = kXmlSuccess;
  const auto length = static_cast<ptrdiff_t>(text.size());
  const int64_t measured = decodeEntities(text.data(), length, nullptr, &code);
  std::string out(text.size() + 1, '?');
  XmlErrorCode writeCode = kXmlSuccess;
  const int64_t written = decodeEntities(text.data(), length, &out[0], &writeCode);
  EXPECT_EQ(written, measured) << "measuring and writing disagree";
  EXPECT_EQ(writeCode, code);
  if (measured < 0) return "error " + std::to_string(code);
  EXPECT_EQ(out[static_cast<size_t>(written)], '\0') << "no terminator";
  return out.substr(0, static_cast<size_t>(written));
}

TEST(XmlEntitiesTest, DecodesAndReportsTheRightError) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a&amp;b&LT;c&Gt;&quot;&apos;", "a&b<c>\"'"},
      {"&#65;&#x42;&#X43;&#xff;", "ABC\xFF"},
      {"&amp", "error 12"},
      {"&#", "error 12"},
      {"&#12", "error 12"},
      {"&#;", "error 12"},
      {"&#x;", "error 12"},
      {"&#0;", "error 12"},
      {"&#1a;", "error 12"},
      {"&#256;", "error 13"},
      {"&#x100;", "error 13"},
      // An unknown or unterminated reference anywhere outranks a value above 255,
      // before or after it; otherwise the first bad character reference decides.
      {"&#256;&bogus;", "error 12"},
      {"&bogus;&#256;", "error 12"},
      {"&#256;x&#12", "error 12"},
      {"&#256;&#1a;", "error 13"},
      {"&#1a;&#256;", "error 12"},
      {"&#256;&amp;&#300;", "error 13"},
      // A lead byte takes the bytes after it, "&" included, and a character
      // that runs past the end of the range is cut there.
      {"\xE3&amp;", "\xE3&amp;"},
      {"\xE3&a&lt;", "\xE3&a<"},
      {"\xC3&amp;", "\xC3&amp;"},
      {"\xF0&am&amp;", "\xF0&am&"},
      {"x\xE3&", "x\xE3&"},
      {"\xC3\xA9&amp;\xE3\x81\x82&lt;", "\xC3\xA9&\xE3\x81\x82<"},
      // Bytes that start no character stand alone.
      {"\x80&amp;\xFF&lt;", "\x80&\xFF<"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("text: ") + c.text);
    EXPECT_EQ(decode(c.text), c.expected);
  }
}

// Long runs of ordinary characters are copied whole; the references and the
// multi-byte characters (whole ones and lone lead bytes that take in an "&")
// sit at every offset of a run, at its start and at its end.
TEST(XmlEntitiesTest, LongRunsWithMultiByteCharactersAtTheirEdges) {
  struct Piece {
    const char* raw;
    const char* decoded;
  };
  const Piece pieces[] = {
      {"&amp;", "&"},       {"\xC3\xA9", "\xC3\xA9"}, {"\xE3\x81\x82", "\xE3\x81\x82"},
      {"\xE3&a", "\xE3&a"}, {"\xC3&", "\xC3&"},       {"\xF0&lt", "\xF0&lt"},
      {"&#x41;", "A"},      {"\xE3&&", "\xE3&&"},     {"&lt;", "<"},
  };
  for (int32_t runLength : {0, 1, 2, 3, 31, 64, 1000}) {
    for (const Piece& first : pieces) {
      for (const Piece& second : pieces) {
        const std::string run(static_cast<size_t>(runLength), 'r');
        const std::string raw = first.raw + run + second.raw + run + first.raw;
        const std::string expected = first.decoded + run + second.decoded + run + first.decoded;
        SCOPED_TRACE("run " + std::to_string(runLength) + ": " + raw.substr(0, 80));
        EXPECT_EQ(decode(raw), expected);
      }
    }
  }
}

}  // namespace
