// Shared inside the XML library (and its tests): the element record, the fixed
// options, the static tables and the small helpers the parser, the edits and the
// writer have in common. Not for the rest of the program.
#ifndef KX_XML_XML_INTERNAL_H_
#define KX_XML_XML_INTERNAL_H_

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"

namespace kx_xml {

constexpr int32_t kInlineContentEntries = 4;

struct XmlRecordBlock;

/// Hands out the element records of one parse from shared blocks, which saves a
/// malloc and a free per element. Each block counts the records living in it
/// (and the pool, while it still fills it) and is freed with the last of them,
/// so records stay freeable one by one, in any order, after the parse too.
class XmlRecordPool {
 public:
  XmlRecordPool() = default;
  ~XmlRecordPool();
  XmlRecordPool(const XmlRecordPool&) = delete;
  XmlRecordPool& operator=(const XmlRecordPool&) = delete;

  /// Room for a record of `bytes` bytes in the current block (counted as one
  /// more record of it); null when memory runs out.
  void* allocate(size_t bytes, XmlRecordBlock** block);
  /// Room for `bytes` more bytes that belong to a record of `block` (the block
  /// is not counted again: the room lives as long as the block), or null when
  /// that is not the block being filled or it has no room left.
  char* allocateWithin(XmlRecordBlock* block, size_t bytes);

 private:
  XmlRecordBlock* block_ = nullptr;
  size_t nextSize_ = 0;
};

/// How an element's attributes are stored: each name with its value in a block
/// of its own, or all of them in one block with the array (packed), which is
/// either a block of its own or room in the element's record block.
constexpr int32_t kAttrsSeparate = 0;
constexpr int32_t kAttrsPacked = 1;
constexpr int32_t kAttrsPackedInRecordBlock = 2;

/// One element. Arrays are allocated lazily; the *Capacity fields are the sizes
/// allocated (geometric growth keeps appends amortised constant). The content
/// order starts in inlineOrder and the texts in inlineText, so that small leaf
/// elements need no arrays of their own.
struct XmlElementData {
  char* name;  // null only for the nameless document node built by the parser
  int32_t childCount;
  int32_t textCount;
  int32_t sectionCount;
  int32_t attrCount;
  int32_t isDeclaration;
  XmlElementData* parent;     // not owning; null for a top element
  XmlElementData** children;  // each entry holds one reference
  char** texts;
  XmlRawSection* sections;
  // Each attribute's name and value share one allocation starting at name,
  // except in a packed array, which holds the attributes' strings itself.
  XmlAttr* attrs;
  int32_t* contentOrder;  // index * 4 + XmlContentKind, document order
  int32_t refCount;
  int32_t childCapacity;
  int32_t textCapacity;
  int32_t sectionCapacity;
  int32_t attrCapacity;
  int32_t contentCapacity;
  int32_t attrsPacked;  // kAttrs* below
  int32_t inlineOrder[kInlineContentEntries];
  char* inlineText;
  XmlRecordBlock* block;  // the shared block the record lives in, or null: its own
  char* blockText;        // the one text that lives in that block too, or null
};

/// Gives the library's own code access to the record behind a handle.
struct XmlElementAccess {
  static XmlElementData* data(const XmlElement& element) { return element.data_; }
  /// Wraps a record whose reference the new handle takes over (no count change).
  static XmlElement adopt(XmlElementData* data) { return XmlElement(data); }
  /// New handle that adds a reference.
  static XmlElement share(XmlElementData* data) {
    if (data != nullptr) ++data->refCount;
    return XmlElement(data);
  }
};

enum TextEncoding : int32_t { kTextEncodingUtf8 = 1 };

/// Process-wide options; fixed for the whole run.
struct XmlOptions {
  TextEncoding encoding;
  bool detectUtf16;
  bool trimText;
  bool joinTextAcrossComments;
};
constexpr XmlOptions kXmlOptions = {kTextEncodingUtf8, true, true, true};

struct RawSectionKind {
  const char* open;
  int32_t openLength;
  const char* close;
};
constexpr int32_t kRawSectionKindCount = 4;
constexpr int32_t kRawCdata = 0;
constexpr int32_t kRawDoctype = 1;
constexpr int32_t kRawComment = 2;
constexpr int32_t kRawPre = 3;
/// Opening delimiters in the order they are tested (case-sensitive).
extern const RawSectionKind RawSectionKinds[kRawSectionKindCount];
/// Closing delimiter of a DOCTYPE with an internal subset.
extern const char kDoctypeSubsetClose[];

struct EntityEntry {
  const char* entity;
  int32_t length;
  char character;
};
constexpr int32_t kEntityCount = 5;
extern const EntityEntry EntityTable[kEntityCount];

/// Length of the UTF-8 character a first byte starts (0 for the terminator):
/// C2-DF start 2 bytes, E0-EF 3, F0-F4 4, every other byte stands alone.
inline constexpr uint8_t ByteLengthTable[256] = {
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 00-1F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 20-3F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 40-5F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 60-7F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 80-9F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // A0-BF
    1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // C0-DF
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    4, 4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // E0-FF
};

inline bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/// Length of the character at p by the byte-length table, cut short where a NUL
/// byte follows so that no scan ever steps past a terminator.
inline int32_t charLength(const char* p) {
  int32_t n = ByteLengthTable[static_cast<uint8_t>(*p)];
  if (n <= 1) return n;
  for (int32_t i = 1; i < n; ++i) {
    if (p[i] == '\0') return i;
  }
  return n;
}

/// True when the byte at `at` surely starts a character of a walk that starts
/// at `from` (a character start, from <= at, no NUL in between): no multi-byte
/// character that starts in the three bytes before it reaches over it. In
/// well-formed UTF-8 this always holds; when it does not, only a walk from
/// `from` tells whether the byte is inside a character.
inline bool surelyStartsCharacter(const char* from, const char* at) {
  for (const char* s = at - from > 3 ? at - 3 : from; s < at; ++s) {
    if (ByteLengthTable[static_cast<uint8_t>(*s)] > at - s) return false;
  }
  return true;
}

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

/// Whole-string comparison ignoring ASCII letter case; null equals nothing.
bool namesEqual(const char* a, const char* b);

/// Owned copy of the first length bytes of text plus a NUL (all of it when
/// length is -1); null for a null text or when memory runs out.
char* copyText(const char* text, int64_t length);

/// New parentless record with a copy of the name (null name: nameless node) and
/// reference count 0, from the pool when one is given; null when memory runs out.
XmlElementData* newElementData(const char* name, size_t nameLength, bool isDeclaration,
                               XmlRecordPool* pool = nullptr);

/// Drops one reference and frees the record (and every descendant that no
/// longer has a reference) when none is left. Never recursive.
void releaseElementData(XmlElementData* data);

/// Makes room for one more item of kind and one more content entry; false when
/// memory runs out.
bool reserveContentSlot(XmlElementData* data, XmlContentKind kind);

/// Reserves room for one more item of kind (and one more content entry) and
/// returns the index the new item gets at content position (negative or >= the
/// entry count appends), with the content order already updated. The caller
/// stores the item at that index and raises the kind's count. -1 when memory
/// runs out (nothing changed).
int32_t insertContentSlot(XmlElementData* data, XmlContentKind kind, int32_t position);

/// insertContentSlot at the end, without a call while the arrays have room.
inline int32_t appendContentSlot(XmlElementData* data, XmlContentKind kind) {
  const int32_t count = kind == kXmlContentElement ? data->childCount
                        : kind == kXmlContentText  ? data->textCount
                                                   : data->sectionCount;
  const int32_t capacity = kind == kXmlContentElement ? data->childCapacity
                           : kind == kXmlContentText  ? data->textCapacity
                                                      : data->sectionCapacity;
  const int32_t n = data->childCount + data->textCount + data->sectionCount;
  if (count >= capacity || n >= data->contentCapacity) return insertContentSlot(data, kind, -1);
  data->contentOrder[n] = count * 4 + kind;
  return count;
}

/// Removes the entry index * 4 + kind from the content order.
void removeContentEntry(XmlElementData* data, XmlContentKind kind, int32_t index);

/// Makes room for one more attribute (unpacking a packed array); false when
/// memory runs out.
bool reserveAttr(XmlElementData* data);

/// Test-only: number of element records currently allocated.
int64_t liveXmlElementCount();
/// Test-only: number of shared record blocks currently allocated.
int64_t liveXmlRecordBlockCount();
/// Test-only: reference count of the element (0 for the null element).
int32_t xmlRefCount(const XmlElement& element);

}  // namespace kx_xml

#endif  // KX_XML_XML_INTERNAL_H_
