// The tokenizer and the element parser. The parser walks the text once and
// keeps no stack of its own: the element being parsed and its parent chain are
// the state, so nesting costs no native stack and is bounded only by
// kXmlMaxNestingDepth.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "xml/entities.h"
#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

enum TokenKind {
  kWord = 0,
  kQuotedWord = 1,
  kOpen = 2,        // "<"
  kOpenEnd = 3,     // "</"
  kClose = 4,       // ">"
  kEquals = 5,      // "="
  kOpenDecl = 6,    // "<?"
  kCloseEmpty = 7,  // "/>"
  kRawOpen = 8,     // one of the RawSectionKinds openers
  kEnd = 9,
};

struct Token {
  TokenKind kind;
  const char* start;
  ptrdiff_t length;
  int32_t raw;        // RawSectionKinds index for kRawOpen
  bool hasReference;  // a word or quoted word holds an "&" (at a character start)
};

// Byte classes for the scans of the tokenizer: one table lookup tells a byte
// that the scan steps over from one it has to look at.
enum : uint8_t {
  kSpaceByte = 1,   // white space
  kWordStop = 2,    // may end a word, or needs a look: also "&", "/" and lead bytes
  kQuotedStop = 4,  // may end a quoted word, or needs a look: also "&" and lead bytes
};

struct ByteClasses {
  uint8_t of[256];
};

constexpr ByteClasses makeByteClasses() {
  ByteClasses t{};
  for (int32_t b = 0; b < 256; ++b) {
    uint8_t bits = 0;
    const bool lead = ByteLengthTable[b] > 1;
    const bool space = b == ' ' || b == '\t' || b == '\r' || b == '\n';
    if (space) bits |= kSpaceByte;
    if (space || lead || b == 0 || b == '<' || b == '>' || b == '=' || b == '/' || b == '&') {
      bits |= kWordStop;
    }
    if (lead || b == 0 || b == '<' || b == '"' || b == '\'' || b == '&') bits |= kQuotedStop;
    t.of[b] = bits;
  }
  return t;
}

constexpr ByteClasses kByteClasses = makeByteClasses();

inline uint8_t byteClass(char c) { return kByteClasses.of[static_cast<uint8_t>(c)]; }

// Texts shorter than this may share their element's record block.
constexpr ptrdiff_t kBlockTextLimit = 128;
// Attribute sets (array and strings) smaller than this may share it too.
constexpr size_t kBlockAttrsLimit = 512;

enum ParseState { kExpectName, kHaveName, kHaveEquals, kContent };

// An attribute of the start tag being read: where its name and decoded value
// (-1: no value) stand in the parser's string buffer. The attributes of one
// start tag are stored together in one allocation when the tag ends.
struct PendingAttr {
  size_t name;
  ptrdiff_t value;
};

// True unless the end-tag text names the element: the element's name, letter
// case ignored, followed in the tag text by white space or a delimiter.
bool tagNameDiffers(const char* name, const char* tag) {
  if (name == nullptr) return true;
  size_t n = 0;
  for (; name[n] != '\0'; ++n) {
    if (name[n] != tag[n] && asciiLower(name[n]) != asciiLower(tag[n])) return true;
  }
  char c = tag[n];
  return !(isXmlSpace(c) || c == '/' || c == '<' || c == '>' || c == '=');
}

// End of a word that starts at p (its first character always belongs to it);
// *hasReference tells whether an "&" starts one of its characters.
const char* scanWord(const char* p, bool* hasReference) {
  bool reference = *p == '&';
  p += charLength(p);
  for (;;) {
    const char c = *p;
    if ((byteClass(c) & kWordStop) == 0) {
      ++p;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      p += charLength(p);
    } else if (c == '&') {
      reference = true;
      ++p;
    } else if (c == '/' && p[1] != '>') {
      ++p;
    } else {
      break;  // white space, the terminator, "/>", "<", ">" or "="
    }
  }
  *hasReference = reference;
  return p;
}

// Where a quoted word that starts with the quote at p stops: at its closing
// quote, or at the terminator or a "<" that comes first (then it is no quoted
// word). *hasReference tells whether an "&" starts one of its characters.
inline const char* scanQuoted(const char* p, bool* hasReference) {
  const char quote = *p;
  const char* q = p + 1;
  bool reference = false;
  for (;;) {
    const char b = *q;
    if ((byteClass(b) & kQuotedStop) == 0) {
      ++q;
    } else if (b == quote || b == '\0' || b == '<') {
      break;
    } else if (b == '&') {
      reference = true;
      ++q;
    } else {
      q += charLength(q);  // a lead byte, or the other quote
    }
  }
  *hasReference = reference;
  return q;
}

// First "<" or terminator at or after p (a character start) that starts a
// character: inside content nothing else means anything, and a byte inside a
// multi-byte character is never markup.
const char* findMarkup(const char* p) {
  for (;;) {
    const char* open = std::strchr(p, '<');
    if (open == nullptr) return p + std::strlen(p);
    if (surelyStartsCharacter(p, open)) return open;
    // A lead byte just before the "<" may take it in: walk to find out.
    while (p < open) p += charLength(p);
    if (p == open) return open;
  }
}

class Parser {
 public:
  explicit Parser(const char* text) : pending_(text), pos_(text) {}
  ~Parser() {
    std::free(attrs_);
    std::free(attrBytes_);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  void run(XmlElementData* document);
  XmlErrorCode code() const { return code_; }
  // Where line and column are counted to.
  const char* errorPosition() const { return code_ == kXmlUnclosedElement ? warning_ : pos_; }

 private:
  Token nextToken();
  enum Shortcut { kNotTaken, kTaken, kFailed };
  Shortcut readQuotedAttribute();
  Shortcut readTag();
  bool fail(XmlErrorCode code) {
    code_ = code;
    return false;
  }
  bool closeCurrent();
  bool openChild(const Token& name, bool isDeclaration);
  bool emitPendingText(const char* end);
  bool appendText(const char* start, const char* end);
  bool readRawSection(int32_t kind);
  bool appendAttribute(const char* name, ptrdiff_t nameLength, const char* value = nullptr,
                       ptrdiff_t valueLength = 0, bool hasReference = false);
  bool storeAttributes();

  XmlRecordPool records_;
  const char* pending_;  // start of text not yet turned into a text item, or null
  const char* pos_;
  const char* warning_ = nullptr;
  XmlErrorCode code_ = kXmlSuccess;
  const char* unmatched_ = nullptr;  // end-tag name that did not match its element
  XmlElementData* current_ = nullptr;
  int32_t depth_ = 0;
  // The text that the last comment join grew, with its length and capacity, so
  // that a long run of text-comment-text pieces is joined in linear time.
  char* joined_ = nullptr;
  size_t joinedLength_ = 0;
  size_t joinedCapacity_ = 0;
  ParseState state_ = kContent;
  PendingAttr* attrs_ = nullptr;  // attributes of the current start tag
  int32_t attrCount_ = 0;
  int32_t attrCapacity_ = 0;
  char* attrBytes_ = nullptr;  // their names and decoded values, each with a NUL
  size_t attrBytesLength_ = 0;
  size_t attrBytesCapacity_ = 0;
};

Token Parser::nextToken() {
  const char* p = pos_;
  while ((byteClass(*p) & kSpaceByte) != 0) ++p;
  Token t{kWord, p, 0, -1, false};
  char c = *p;
  if (c == '\0') {
    pos_ = p;
    t.kind = kEnd;
    return t;
  }
  if (c == '"' || c == '\'') {
    const char* q = scanQuoted(p, &t.hasReference);
    if (*q == c) {
      pos_ = q + 1;
      t.kind = kQuotedWord;
      t.length = pos_ - p;
      return t;
    }
    // An unclosed quote is just the first character of a word.
  } else if (c == '/' && p[1] == '>') {
    pos_ = p + 2;
    t.kind = kCloseEmpty;
    t.length = 2;
    return t;
  } else if (c == '<') {
    if (p[1] == '!' || p[1] == 'P') {
      for (int32_t k = 0; k < kRawSectionKindCount; ++k) {
        const RawSectionKind& kind = RawSectionKinds[k];
        if (std::strncmp(p, kind.open, static_cast<size_t>(kind.openLength)) == 0) {
          pos_ = p + kind.openLength;
          t.kind = kRawOpen;
          t.length = kind.openLength;
          t.raw = k;
          return t;
        }
      }
    }
    t.kind = p[1] == '/' ? kOpenEnd : p[1] == '?' ? kOpenDecl : kOpen;
    t.length = t.kind == kOpen ? 1 : 2;
    pos_ = p + t.length;
    return t;
  } else if (c == '=' || c == '>') {
    pos_ = p + 1;
    t.kind = c == '=' ? kEquals : kClose;
    t.length = 1;
    return t;
  }
  const char* end = scanWord(p, &t.hasReference);
  t.length = end - p;
  pos_ = (byteClass(*end) & kSpaceByte) != 0 ? end + 1 : end;
  return t;
}

// Reads an attribute of the common shape name="value" (white space allowed
// around "=") at once, giving exactly what the tokens word, "=" and quoted word
// give. Anything else (a name that needs a closer look, a value that is no
// quoted word) is left to the tokens: kNotTaken changes nothing.
Parser::Shortcut Parser::readQuotedAttribute() {
  const char* p = pos_;
  while ((byteClass(*p) & kSpaceByte) != 0) ++p;
  const char* name = p;
  // A quote would start a quoted word, and the stop bytes need the tokenizer.
  if ((byteClass(*p) & kWordStop) != 0 || *p == '"' || *p == '\'') return kNotTaken;
  do {
    ++p;
  } while ((byteClass(*p) & kWordStop) == 0);
  const char* nameEnd = p;
  while ((byteClass(*p) & kSpaceByte) != 0) ++p;
  if (*p != '=') return kNotTaken;
  ++p;
  while ((byteClass(*p) & kSpaceByte) != 0) ++p;
  if (*p != '"' && *p != '\'') return kNotTaken;
  bool hasReference = false;
  const char* close = scanQuoted(p, &hasReference);
  if (*close != *p) return kNotTaken;
  pos_ = close + 1;
  // A declaration drops a final "?" of its value token, which here is a quote.
  if (!appendAttribute(name, nameEnd - name, p + 1, close - p - 1, hasReference)) return kFailed;
  return kTaken;
}

// Reads a start-tag opener "<name" or a whole end tag "</name>" at pos_ (the
// markup found in content) at once, giving exactly what the tokens give.
// Raw-section openers, declarations and names that need a closer look are left
// to the tokens: kNotTaken changes nothing.
Parser::Shortcut Parser::readTag() {
  const char* open = pos_;
  if (*open != '<') return kNotTaken;
  const bool isEnd = open[1] == '/';
  const char* name = isEnd ? open + 2 : open + 1;
  const char c = *name;
  // Raw sections open with "<!" or "<P", declarations with "<?".
  if ((byteClass(c) & kWordStop) != 0 || c == '"' || c == '\'' ||
      (!isEnd && (c == '!' || c == 'P' || c == '?'))) {
    return kNotTaken;
  }
  if (!isEnd) {
    pos_ = name;  // where a text decoding error is reported
    if (!emitPendingText(open)) return kFailed;
    bool hasReference = false;
    const char* nameEnd = scanWord(name, &hasReference);
    pos_ = (byteClass(*nameEnd) & kSpaceByte) != 0 ? nameEnd + 1 : nameEnd;
    Token word{kWord, name, nameEnd - name, -1, hasReference};
    return openChild(word, false) ? kTaken : kFailed;
  }
  const char* nameEnd = name + 1;
  while ((byteClass(*nameEnd) & kWordStop) == 0) ++nameEnd;
  if (*nameEnd != '>') return kNotTaken;
  pos_ = name;
  if (!emitPendingText(open)) return kFailed;
  pos_ = nameEnd + 1;
  pending_ = pos_;
  if (tagNameDiffers(current_->name, name)) {
    code_ = kXmlUnclosedElement;
    warning_ = pos_;
    unmatched_ = name;
  }
  return closeCurrent() ? kTaken : kFailed;
}

void Parser::run(XmlElementData* document) {
  current_ = document;
  const char* attrName = nullptr;
  ptrdiff_t attrNameLength = 0;
  for (;;) {
    // Inside content words, quotes, ">" and "=" are text.
    if (state_ == kContent) {
      pos_ = findMarkup(pos_);
      Shortcut shortcut = readTag();
      if (shortcut == kFailed) return;
      if (shortcut == kTaken) continue;
    } else if (state_ == kExpectName) {
      Shortcut shortcut = readQuotedAttribute();
      if (shortcut == kFailed) return;
      if (shortcut == kTaken) continue;
    }
    Token t = nextToken();
    if (t.kind == kEnd) {
      if (state_ != kContent && !storeAttributes()) return;
      if (!current_->isDeclaration && current_->parent != nullptr) {
        code_ = kXmlUnclosedElement;
        warning_ = pos_;
      }
      emitPendingText(pos_);
      return;
    }
    switch (state_) {
      case kExpectName:
        if (t.kind == kWord) {
          attrName = t.start;
          attrNameLength = t.length;
          state_ = kHaveName;
        } else if (t.kind == kClose) {
          pending_ = pos_;
          if (!storeAttributes()) return;
          state_ = kContent;
        } else if (t.kind == kCloseEmpty) {
          pending_ = pos_;
          if (!storeAttributes() || !closeCurrent()) return;
        } else {
          code_ = kXmlUnexpectedToken;
          return;
        }
        break;
      case kHaveName:
        if (t.kind == kWord) {
          if (!appendAttribute(attrName, attrNameLength)) return;
          attrName = t.start;
          attrNameLength = t.length;
        } else if (t.kind == kClose || t.kind == kCloseEmpty) {
          pending_ = pos_;
          bool closes = t.kind == kCloseEmpty;
          if (current_->isDeclaration && attrName[attrNameLength - 1] == '?') {
            --attrNameLength;
            // "<?pi ...?>" inside an element is empty; at the top it holds the rest.
            if (current_->parent->parent != nullptr) closes = true;
          }
          if (!appendAttribute(attrName, attrNameLength) || !storeAttributes()) {
            return;
          }
          if (!closes) {
            state_ = kContent;
          } else if (!closeCurrent()) {
            return;
          }
        } else if (t.kind == kEquals) {
          state_ = kHaveEquals;
        } else {
          code_ = kXmlUnexpectedToken;
          return;
        }
        break;
      case kHaveEquals: {
        if (t.kind != kWord && t.kind != kQuotedWord) {
          code_ = kXmlUnexpectedToken;
          return;
        }
        const char* value = t.start;
        ptrdiff_t valueLength = t.length;
        if (current_->isDeclaration && value[valueLength - 1] == '?') --valueLength;
        if (t.kind == kQuotedWord) {
          ++value;
          valueLength -= 2;
        }
        if (!appendAttribute(attrName, attrNameLength, value, valueLength, t.hasReference)) {
          return;
        }
        state_ = kExpectName;
        break;
      }
      case kContent:
        if (t.kind == kOpen || t.kind == kOpenDecl) {
          if (!emitPendingText(t.start)) return;
          Token name = nextToken();
          if (name.kind != kWord) {
            code_ = kXmlMissingTagName;
            return;
          }
          if (!openChild(name, t.kind == kOpenDecl)) return;
        } else if (t.kind == kOpenEnd) {
          if (!emitPendingText(t.start)) return;
          Token name = nextToken();
          if (name.kind != kWord || nextToken().kind != kClose) {
            code_ = kXmlBadEndTag;
            return;
          }
          pending_ = pos_;
          if (tagNameDiffers(current_->name, name.start)) {
            code_ = kXmlUnclosedElement;
            warning_ = pos_;
            unmatched_ = name.start;
          }
          if (!closeCurrent()) return;
        } else if (t.kind == kRawOpen) {
          if (!emitPendingText(t.start) || !readRawSection(t.raw)) return;
          pending_ = pos_;
        }
        break;
    }
  }
}

// The current element is closed; returns false when that ends the parse.
bool Parser::closeCurrent() {
  for (;;) {
    XmlElementData* parent = current_->parent;
    if (parent == nullptr) return false;  // the document node itself: done
    current_ = parent;
    --depth_;
    if (unmatched_ == nullptr) {
      state_ = kContent;
      return true;
    }
    if (parent->parent == nullptr) return fail(kXmlUnmatchedEndTag);
    // An end tag of an ancestor closes every element in between.
    if (!tagNameDiffers(parent->name, unmatched_)) unmatched_ = nullptr;
  }
}

bool Parser::openChild(const Token& name, bool isDeclaration) {
  if (depth_ >= kXmlMaxNestingDepth) return fail(kXmlNestingTooDeep);
  XmlElementData* child =
      newElementData(name.start, static_cast<size_t>(name.length), isDeclaration, &records_);
  if (child == nullptr) return fail(kXmlCannotOpenFile);
  int32_t index = appendContentSlot(current_, kXmlContentElement);
  if (index < 0) {
    releaseElementData(child);
    return fail(kXmlCannotOpenFile);
  }
  child->refCount = 1;  // the parent's children array
  child->parent = current_;
  current_->children[index] = child;
  ++current_->childCount;
  current_ = child;
  ++depth_;
  state_ = kExpectName;
  return true;
}

bool Parser::emitPendingText(const char* end) {
  const char* start = pending_;
  if (start == nullptr) return true;
  pending_ = nullptr;
  if (kXmlOptions.trimText) {
    while (start < end && isXmlSpace(*start)) ++start;
    while (end > start && isXmlSpace(end[-1])) --end;
  }
  if (start == end) return true;
  return appendText(start, end);
}

// Decoding never lengthens a text, so each text is decoded straight into a
// block of its raw length, in one pass.
bool Parser::appendText(const char* start, const char* end) {
  XmlElementData* e = current_;
  const ptrdiff_t rawLength = end - start;
  int32_t n = e->childCount + e->textCount + e->sectionCount;
  if (kXmlOptions.joinTextAcrossComments && e->textCount > 0 && e->sectionCount > 0 && n >= 2 &&
      (e->contentOrder[n - 1] & 3) == kXmlContentSection &&
      e->sections[e->contentOrder[n - 1] >> 2].openTag == RawSectionKinds[kRawComment].open &&
      (e->contentOrder[n - 2] & 3) == kXmlContentText) {
    // A comment between two text pieces goes; the pieces become one text.
    char*& previous = e->texts[e->contentOrder[n - 2] >> 2];
    const bool grownBefore = previous == joined_;
    const size_t previousLength = grownBefore ? joinedLength_ : std::strlen(previous);
    const size_t needed = previousLength + static_cast<size_t>(rawLength) + 1;
    char* joined = previous;
    size_t capacity = grownBefore ? joinedCapacity_ : previousLength + 1;
    if (needed > capacity || previous == e->blockText) {
      capacity = std::max(needed, capacity * 2);
      if (previous == e->blockText) {
        // A text in the record's block cannot grow in place: move it out.
        joined = static_cast<char*>(std::malloc(capacity));
        if (joined == nullptr) return fail(kXmlCannotOpenFile);
        std::memcpy(joined, previous, previousLength + 1);
        e->blockText = nullptr;
      } else {
        joined = static_cast<char*>(std::realloc(previous, capacity));
        if (joined == nullptr) return fail(kXmlCannotOpenFile);
      }
      previous = joined;
    }
    int64_t length = decodeEntities(start, rawLength, joined + previousLength, &code_);
    joined_ = joined;
    joinedCapacity_ = capacity;
    if (length < 0) {
      joined[previousLength] = '\0';
      joinedLength_ = previousLength;
      return false;
    }
    joinedLength_ = previousLength + static_cast<size_t>(length);
    XmlRawSection& comment = e->sections[e->contentOrder[n - 1] >> 2];
    std::free(const_cast<char*>(comment.value));
    --e->sectionCount;
    return true;
  }
  // The first short text of an element usually fits in the block its record
  // was just taken from, which saves a malloc and a free.
  char* text = nullptr;
  if (e->blockText == nullptr && rawLength < kBlockTextLimit) {
    text = records_.allocateWithin(e->block, static_cast<size_t>(rawLength) + 1);
  }
  const bool inBlock = text != nullptr;
  if (!inBlock) text = static_cast<char*>(std::malloc(static_cast<size_t>(rawLength) + 1));
  if (text == nullptr) return fail(kXmlCannotOpenFile);
  int64_t length = decodeEntities(start, rawLength, text, &code_);
  if (length < 0) {
    if (!inBlock) std::free(text);
    return false;
  }
  if (inBlock) {
    int32_t index = appendContentSlot(e, kXmlContentText);
    if (index < 0) return fail(kXmlCannotOpenFile);
    e->texts[index] = text;
    e->blockText = text;
    ++e->textCount;
    return true;
  }
  if (length < rawLength - rawLength / 4) {
    // Many references: give back what they saved.
    char* shrunk = static_cast<char*>(std::realloc(text, static_cast<size_t>(length) + 1));
    if (shrunk != nullptr) text = shrunk;
  }
  int32_t index = appendContentSlot(e, kXmlContentText);
  if (index < 0) {
    std::free(text);
    return fail(kXmlCannotOpenFile);
  }
  e->texts[index] = text;
  ++e->textCount;
  return true;
}

bool Parser::readRawSection(int32_t kind) {
  const char* body = pos_;
  const char* close = RawSectionKinds[kind].close;
  const char* bodyEnd = nullptr;
  if (kind == kRawDoctype) {
    // "<!DOCTYPE x>" ends at ">", one with an internal subset at "]>".
    const char* p = body;
    while (*p != '\0' && *p != '>' && *p != '<') p += charLength(p);
    if (*p == '>') {
      bodyEnd = p;
    } else if (*p == '<') {
      close = kDoctypeSubsetClose;
      bodyEnd = std::strstr(p, close);
    }
  } else {
    bodyEnd = std::strstr(body, close);
  }
  if (bodyEnd == nullptr) return fail(kXmlUnclosedSection);
  pos_ = bodyEnd + std::strlen(close);
  if (bodyEnd == body) return true;  // an empty section leaves no item
  char* value = copyText(body, bodyEnd - body);
  int32_t index = value == nullptr ? -1 : appendContentSlot(current_, kXmlContentSection);
  if (index < 0) {
    std::free(value);
    return fail(kXmlCannotOpenFile);
  }
  current_->sections[index] = XmlRawSection{value, RawSectionKinds[kind].open, close};
  ++current_->sectionCount;
  return true;
}

bool Parser::appendAttribute(const char* name, ptrdiff_t nameLength, const char* value,
                             ptrdiff_t valueLength, bool hasReference) {
  if (nameLength <= 0) return true;
  if (attrCount_ == attrCapacity_) {
    int32_t capacity = attrCapacity_ == 0 ? 16 : attrCapacity_ * 2;
    void* grown = attrCapacity_ >= INT32_MAX / 2
                      ? nullptr
                      : std::realloc(attrs_, sizeof(PendingAttr) * static_cast<size_t>(capacity));
    if (grown == nullptr) return fail(kXmlCannotOpenFile);
    attrs_ = static_cast<PendingAttr*>(grown);
    attrCapacity_ = capacity;
  }
  // Decoding never lengthens a value, so its raw length bounds the room needed.
  const size_t needed = attrBytesLength_ + static_cast<size_t>(nameLength) + 1 +
                        (value != nullptr ? static_cast<size_t>(valueLength) + 1 : 0);
  if (needed > attrBytesCapacity_) {
    size_t capacity = std::max(needed, attrBytesCapacity_ < 128 ? 256 : attrBytesCapacity_ * 2);
    char* grown = static_cast<char*>(std::realloc(attrBytes_, capacity));
    if (grown == nullptr) return fail(kXmlCannotOpenFile);
    attrBytes_ = grown;
    attrBytesCapacity_ = capacity;
  }
  PendingAttr& a = attrs_[attrCount_];
  a.name = attrBytesLength_;
  char* out = attrBytes_ + attrBytesLength_;
  std::memcpy(out, name, static_cast<size_t>(nameLength));
  out[nameLength] = '\0';
  out += nameLength + 1;
  a.value = -1;
  if (value != nullptr) {
    a.value = out - attrBytes_;
    int64_t length = valueLength;
    if (hasReference) {
      // Checked and decoded here, so that an error points at this value.
      length = decodeEntities(value, valueLength, out, &code_);
      if (length < 0) return false;
    } else {
      std::memcpy(out, value, static_cast<size_t>(valueLength));
      out[valueLength] = '\0';
    }
    out += length + 1;
  }
  attrBytesLength_ = static_cast<size_t>(out - attrBytes_);
  ++attrCount_;
  return true;
}

// Stores the attributes read for the current element: the array and all the
// strings in one block.
bool Parser::storeAttributes() {
  if (attrCount_ == 0) return true;
  size_t arrayBytes = sizeof(XmlAttr) * static_cast<size_t>(attrCount_);
  const size_t bytes = arrayBytes + attrBytesLength_;
  // Small sets usually fit in the block the element's record was just taken from.
  int32_t packing = kAttrsPackedInRecordBlock;
  char* block =
      bytes < kBlockAttrsLimit ? records_.allocateWithin(current_->block, bytes) : nullptr;
  if (block == nullptr) {
    packing = kAttrsPacked;
    block = static_cast<char*>(std::malloc(bytes));
  }
  if (block == nullptr) return fail(kXmlCannotOpenFile);
  auto* attrs = reinterpret_cast<XmlAttr*>(block);
  char* strings = block + arrayBytes;
  std::memcpy(strings, attrBytes_, attrBytesLength_);
  for (int32_t i = 0; i < attrCount_; ++i) {
    const PendingAttr& a = attrs_[i];
    attrs[i] = XmlAttr{strings + a.name, a.value < 0 ? nullptr : strings + a.value};
  }
  current_->attrs = attrs;
  current_->attrCount = attrCount_;
  current_->attrCapacity = attrCount_;
  current_->attrsPacked = packing;
  attrCount_ = 0;
  attrBytesLength_ = 0;
  return true;
}

// Line and column of a byte position: lines counted by line feeds, columns by
// characters, both from 1.
void lineAndColumn(const char* text, const char* position, XmlParseResult* result) {
  int64_t line = 1;
  int64_t column = 1;
  for (const char* p = text; p < position && *p != '\0'; p += charLength(p)) {
    if (*p == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  result->line = static_cast<int32_t>(line > INT32_MAX ? INT32_MAX : line);
  result->column = static_cast<int32_t>(column > INT32_MAX ? INT32_MAX : column);
}

XmlElement firstChildNamed(XmlElementData* data, const char* name) {
  for (int32_t i = 0; i < data->childCount; ++i) {
    if (namesEqual(data->children[i]->name, name)) {
      return XmlElementAccess::share(data->children[i]);
    }
  }
  return XmlElement();
}

}  // namespace

XmlElement parseXmlText(const char* text, const char* expectedTag, XmlParseResult* result) {
  XmlParseResult local{kXmlSuccess, 0, 0};
  if (result == nullptr) result = &local;
  *result = XmlParseResult{kXmlNullText, 0, 0};
  if (text == nullptr) return XmlElement();
  XmlElementData* document = newElementData(nullptr, 0, false);
  if (document == nullptr) {
    result->code = kXmlCannotOpenFile;
    return XmlElement();
  }
  document->refCount = 1;
  // Released on return unless it is the result.
  XmlElement documentHandle = XmlElementAccess::adopt(document);

  Parser parser(text);
  parser.run(document);
  XmlErrorCode code = parser.code();
  if (document->childCount == 0) code = kXmlNoElement;
  result->code = code;
  if (code == kXmlCannotOpenFile) return XmlElement();
  if (code != kXmlSuccess) lineAndColumn(text, parser.errorPosition(), result);
  if (code != kXmlSuccess && code != kXmlUnclosedElement && code != kXmlNoElement) {
    return XmlElement();
  }

  XmlElement top = documentHandle;
  if (document->childCount == 1 &&
      document->attrCount + document->textCount + document->sectionCount == 0) {
    top = XmlElementAccess::share(document->children[0]);
  }
  XmlElementData* topData = XmlElementAccess::data(top);
  if (expectedTag == nullptr || expectedTag[0] == '\0' || namesEqual(topData->name, expectedTag)) {
    return top;
  }
  XmlElement found = firstChildNamed(topData, expectedTag);
  if (found.isNull()) *result = XmlParseResult{kXmlExpectedTagMissing, 0, 0};
  return found;
}
