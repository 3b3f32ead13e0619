// The tokenizer and the element parser. The parser walks the text once and
// keeps no stack of its own: the element being parsed and its parent chain are
// the state, so nesting costs no native stack and is bounded only by
// kXmlMaxNestingDepth.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "xml/entities.h"
#include "xml/xml_internal.h"

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

enum ParseState { kExpectName, kHaveName, kHaveEquals, kContent };

// An attribute of the start tag being read; the attributes of one start tag are
// stored together in one allocation when the tag ends.
struct PendingAttr {
  const char* name;
  ptrdiff_t nameLength;
  const char* value;  // null: no value
  ptrdiff_t valueLength;
  int64_t decodedLength;
};

// True unless the end-tag text names the element: the element's name, letter
// case ignored, followed in the tag text by white space or a delimiter.
bool tagNameDiffers(const char* name, const char* tag) {
  if (name == nullptr) return true;
  size_t n = 0;
  for (; name[n] != '\0'; ++n) {
    if (asciiLower(name[n]) != asciiLower(tag[n])) return true;
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
  ~Parser() { std::free(attrs_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  void run(XmlElementData* document);
  XmlErrorCode code() const { return code_; }
  // Where line and column are counted to.
  const char* errorPosition() const { return code_ == kXmlUnclosedElement ? warning_ : pos_; }

 private:
  Token nextToken();
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
  size_t attrBytes_ = 0;  // their strings, terminators included
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
    const char* q = p + 1;
    bool reference = false;
    for (;;) {
      const char b = *q;
      if ((byteClass(b) & kQuotedStop) == 0) {
        ++q;
      } else if (b == c || b == '\0' || b == '<') {
        break;
      } else if (b == '&') {
        reference = true;
        ++q;
      } else {
        q += charLength(q);  // a lead byte, or the other quote
      }
    }
    if (*q == c) {
      pos_ = q + 1;
      t.kind = kQuotedWord;
      t.length = pos_ - p;
      t.hasReference = reference;
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

void Parser::run(XmlElementData* document) {
  current_ = document;
  const char* attrName = nullptr;
  ptrdiff_t attrNameLength = 0;
  for (;;) {
    // Inside content words, quotes, ">" and "=" are text.
    if (state_ == kContent) pos_ = findMarkup(pos_);
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
      newElementData(name.start, static_cast<size_t>(name.length), isDeclaration);
  if (child == nullptr) return fail(kXmlCannotOpenFile);
  int32_t index = insertContentSlot(current_, kXmlContentElement, -1);
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
    if (needed > capacity) {
      capacity = std::max(needed, capacity * 2);
      joined = static_cast<char*>(std::realloc(previous, capacity));
      if (joined == nullptr) return fail(kXmlCannotOpenFile);
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
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(rawLength) + 1));
  if (text == nullptr) return fail(kXmlCannotOpenFile);
  int64_t length = decodeEntities(start, rawLength, text, &code_);
  if (length < 0) {
    std::free(text);
    return false;
  }
  if (length < rawLength - rawLength / 4) {
    // Many references: give back what they saved.
    char* shrunk = static_cast<char*>(std::realloc(text, static_cast<size_t>(length) + 1));
    if (shrunk != nullptr) text = shrunk;
  }
  int32_t index = insertContentSlot(e, kXmlContentText, -1);
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
  int32_t index = value == nullptr ? -1 : insertContentSlot(current_, kXmlContentSection, -1);
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
  int64_t decodedLength = valueLength;
  if (hasReference) {
    // Check the whole value now, so that an error points at it.
    decodedLength = decodeEntities(value, valueLength, nullptr, &code_);
    if (decodedLength < 0) return false;
  }
  if (attrCount_ == attrCapacity_) {
    int32_t capacity = attrCapacity_ == 0 ? 16 : attrCapacity_ * 2;
    void* grown = attrCapacity_ >= INT32_MAX / 2
                      ? nullptr
                      : std::realloc(attrs_, sizeof(PendingAttr) * static_cast<size_t>(capacity));
    if (grown == nullptr) return fail(kXmlCannotOpenFile);
    attrs_ = static_cast<PendingAttr*>(grown);
    attrCapacity_ = capacity;
  }
  attrs_[attrCount_++] = PendingAttr{name, nameLength, value, valueLength, decodedLength};
  attrBytes_ += static_cast<size_t>(nameLength) + 1 +
                (value != nullptr ? static_cast<size_t>(decodedLength) + 1 : 0);
  return true;
}

// Stores the attributes read for the current element: the array and all the
// strings in one block.
bool Parser::storeAttributes() {
  if (attrCount_ == 0) return true;
  size_t arrayBytes = sizeof(XmlAttr) * static_cast<size_t>(attrCount_);
  char* block = static_cast<char*>(std::malloc(arrayBytes + attrBytes_));
  if (block == nullptr) return fail(kXmlCannotOpenFile);
  auto* attrs = reinterpret_cast<XmlAttr*>(block);
  char* strings = block + arrayBytes;
  for (int32_t i = 0; i < attrCount_; ++i) {
    const PendingAttr& a = attrs_[i];
    char* name = strings;
    std::memcpy(name, a.name, static_cast<size_t>(a.nameLength));
    name[a.nameLength] = '\0';
    strings += a.nameLength + 1;
    char* value = nullptr;
    if (a.value != nullptr) {
      value = strings;
      // References always shorten a value, so an unchanged length means none.
      if (a.decodedLength == a.valueLength) {
        std::memcpy(value, a.value, static_cast<size_t>(a.valueLength));
        value[a.valueLength] = '\0';
      } else {
        decodeEntities(a.value, a.valueLength, value, &code_);  // checked when read
      }
      strings += a.decodedLength + 1;
    }
    attrs[i] = XmlAttr{name, value};
  }
  current_->attrs = attrs;
  current_->attrCount = attrCount_;
  current_->attrCapacity = attrCount_;
  current_->attrsPacked = 1;
  attrCount_ = 0;
  attrBytes_ = 0;
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
