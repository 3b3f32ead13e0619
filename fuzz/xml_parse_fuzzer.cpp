// libFuzzer target for the XML reader and writer.
//
// Each input is parsed as text (a NUL-terminated copy, so an embedded NUL ends
// the text there) and, when it holds a NUL byte and so may be UTF-16, also loaded
// as a file. A tree that comes back is rendered flat and formatted; both
// renderings must parse again, without error or warning, and render flat to
// exactly the bytes of the first flat rendering.
//
// The round trip is checked only where the reader's lenient rules allow it. It is
// skipped when the first rendering:
//  - is not well-formed UTF-8: a lead byte (C2 to F4) spans the bytes after it
//    whatever they are, so a lone one that a character reference produced (&#233;
//    gives the byte E9) or that the input held swallows the markup that the
//    writer puts after it;
//  - holds a text or attribute value that starts or ends with white space (as
//    &#32; or &#9; decode to): texts are trimmed before they are decoded, so the
//    second parse trims what the first one kept;
//  - holds a name that does not read back as the same word: the writer puts
//    names out unescaped, and a name may begin with a quote or end in "/" (a word
//    runs to the next white space), which then reads as a quoted value or as part
//    of "/>";
//  - holds an element whose start tag, as written, reads as other markup: a
//    name that begins with "?" or "/" (possible after "< "), with "!--",
//    "![CDATA[" or "!DOCTYPE", or an element PRE without attributes that has
//    content (written <PRE>, the opener of a verbatim block);
//  - holds a declaration without attributes, or whose name ends in "?": the
//    writer closes it with "?>" right after the name, and a word runs up to the
//    ">", so <?v?> reads back as a declaration named "v?" (only the last
//    attribute name or value of a declaration loses its "?").
// The formatted rendering is also not checked when an element holds two texts
// next to each other (an empty comment or CDATA between them leaves no item):
// formatting puts each on its own line, and the line break and tabs between
// them then belong to the one text that the second parse reads.
// Anything else that breaks the round trip is a finding.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& first, const std::string& second) {
  std::fprintf(stderr, "round trip broken: %s\n--- first:\n%s\n--- second:\n%s\n", what,
               first.c_str(), second.c_str());
  std::abort();
}

std::string Render(const XmlElement& element, bool formatted) {
  size_t length = 12345;
  char* text = renderXml(element, formatted, &length);
  if (text == nullptr) {
    if (length != 0) Fail("null rendering with a length", "", "");
    return std::string();
  }
  if (std::strlen(text) != length) Fail("rendered length differs from the text", text, "");
  std::string copy(text, length);
  releaseXmlText(text);
  return copy;
}

bool WellFormedUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                  : (c >= 0xF0 && c <= 0xF4) ? 4
                                                                             : 1;
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char follow = static_cast<unsigned char>(text[i + k]);
      if (follow < 0x80 || follow > 0xBF) return false;
    }
    i += n - 1;
  }
  return true;
}

// True when "<" and the element's name, as the writer puts them out, read back
// as the start of the same element.
bool StartTagReadsBack(const XmlElement& e) {
  const char* name = elementName(e);
  if (name == nullptr || *name == '\0') return true;
  if (!isDeclaration(e) && (name[0] == '?' || name[0] == '/')) return false;
  std::string tag = std::string("<") + name;
  if (attributeCount(e) == 0 && contentCount(e) > 0) tag += '>';
  for (const char* opener : {"<![CDATA[", "<!DOCTYPE", "<!--", "<PRE>"}) {
    if (tag.compare(0, std::strlen(opener), opener) == 0) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool HasSpaceAtAnEdge(const char* text) {
  if (text == nullptr || *text == '\0') return false;
  return IsSpace(text[0]) || IsSpace(text[std::strlen(text) - 1]);
}

bool ReadsBackAsName(const char* name) {
  if (name == nullptr || *name == '\0') return true;
  const char last = name[std::strlen(name) - 1];
  return name[0] != '"' && name[0] != '\'' && last != '/';
}

struct RoundTrip {
  bool flat = true;       // the flat rendering reads back to the same bytes
  bool formatted = true;  // and so does the formatted one
};

// Which round trips the tree allows (see the top of the file). Walks without
// recursion: trees may be deep.
RoundTrip RoundTripApplies(const XmlElement& root) {
  RoundTrip applies;
  std::vector<XmlElement> work{root};
  while (!work.empty()) {
    const XmlElement e = work.back();
    work.pop_back();
    if (!ReadsBackAsName(elementName(e)) || !StartTagReadsBack(e)) return RoundTrip{false, false};
    if (isDeclaration(e)) {
      const char* name = elementName(e);
      if (attributeCount(e) == 0 || (*name != '\0' && name[std::strlen(name) - 1] == '?')) {
        return RoundTrip{false, false};
      }
    }
    for (int32_t i = 0; i < attributeCount(e); ++i) {
      const XmlAttr attr = attributeAt(e, i);
      if (!ReadsBackAsName(attr.name) || HasSpaceAtAnEdge(attr.value)) {
        return RoundTrip{false, false};
      }
    }
    for (int32_t i = 0; i < textCount(e); ++i) {
      if (HasSpaceAtAnEdge(textAt(e, i))) return RoundTrip{false, false};
    }
    for (int32_t i = 1; i < contentCount(e); ++i) {
      if (contentAt(e, i - 1) % 4 == kXmlContentText && contentAt(e, i) % 4 == kXmlContentText) {
        applies.formatted = false;
      }
    }
    for (int32_t i = 0; i < childCount(e); ++i) work.push_back(childAt(e, i));
  }
  return applies;
}

void CheckRoundTrip(const std::string& flat, const std::string& rendering, const char* what) {
  XmlParseResult result{};
  XmlElement again = parseXmlText(rendering.c_str(), nullptr, &result);
  if (again.isNull()) Fail(what, flat, rendering + "\n(does not parse again)");
  // Code 2 (no element) is what the first parse gave as well for a text without
  // elements; the writer never leaves an element open.
  if (result.code != kXmlSuccess && result.code != kXmlNoElement) {
    Fail(what, flat, rendering + "\n(parses again with a warning)");
  }
  const std::string second = Render(again, false);
  if (second != flat) Fail(what, flat, second);
}

// One scratch file per fuzzing process, removed when the process exits.
struct ScratchFile {
  ScratchFile() {
    char name[] = "/tmp/xml_parse_fuzzer_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
  }
  ~ScratchFile() { unlink(path.c_str()); }
  std::string path;
};

void ParseFile(const uint8_t* data, size_t size) {
  static const ScratchFile scratch;
  const std::string& path = scratch.path;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  XmlParseResult result{};
  XmlElement root = parseXmlFile(path.c_str(), nullptr, &result);
  if (!root.isNull()) Render(root, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (std::memchr(data, 0, size) != nullptr) ParseFile(data, size);

  XmlParseResult result{};
  XmlElement root = parseXmlText(text.c_str(), nullptr, &result);
  if (root.isNull()) return 0;
  if (result.code != kXmlSuccess && result.code != kXmlUnclosedElement &&
      result.code != kXmlNoElement) {
    Fail("a tree came with an error code", text, std::to_string(result.code));
  }

  const std::string flat = Render(root, false);
  const std::string formatted = Render(root, true);
  if (!WellFormedUtf8(flat)) return 0;
  const RoundTrip applies = RoundTripApplies(root);
  if (applies.flat) CheckRoundTrip(flat, flat, "flat rendering");
  if (applies.formatted) CheckRoundTrip(flat, formatted, "formatted rendering");
  return 0;
}
