// The element record, its handle and reference counting, the free step, the
// static tables, and the content-order bookkeeping shared by the parser and the
// edits.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

// Number of live records, for the tests' leak checks. The only mutable state of
// the library besides the trees themselves; atomic, so that trees built and
// freed on several threads at once keep the counts right.
std::atomic<int64_t> liveElements{0};
std::atomic<int64_t> liveBlocks{0};

constexpr int32_t kFirstCapacity = 4;

// Grows an array of item size `size` so that it holds at least count + 1 items.
// An array still in the record's inline storage is copied out, never freed.
bool growFor(void** array, int32_t* capacity, int32_t count, size_t size, const void* inlineStore) {
  if (count < *capacity) return true;
  if (count >= INT32_MAX / 2) return false;
  int32_t newCapacity = *capacity < kFirstCapacity ? kFirstCapacity : *capacity * 2;
  size_t bytes = static_cast<size_t>(newCapacity) * size;
  void* grown = nullptr;
  if (*array != nullptr && *array == inlineStore) {
    grown = std::malloc(bytes);
    if (grown != nullptr) std::memcpy(grown, *array, static_cast<size_t>(count) * size);
  } else {
    grown = std::realloc(*array, bytes);
  }
  if (grown == nullptr) return false;
  *array = grown;
  *capacity = newCapacity;
  return true;
}

template <typename T>
bool grow(T** array, int32_t* capacity, int32_t count, const T* inlineStore = nullptr) {
  void* raw = *array;
  bool ok = growFor(&raw, capacity, count, sizeof(T), inlineStore);
  *array = static_cast<T*>(raw);
  return ok;
}

// A block is filled from the front; records never move and their room is not
// reused, the block goes when its count reaches 0. The first block of a parse is
// small, so that a small document costs little; later ones grow up to a size
// that keeps the allocator's requests few.
constexpr size_t kFirstBlockSize = 1000;
constexpr size_t kMaxBlockSize = 16000;
constexpr size_t kRecordAlign = alignof(XmlElementData);

}  // namespace

struct kx_xml::XmlRecordBlock {
  int64_t records;  // records living in the block, plus 1 while the pool fills it
  size_t used;
  size_t size;
};

namespace {

constexpr size_t kBlockHeader =
    (sizeof(XmlRecordBlock) + kRecordAlign - 1) / kRecordAlign * kRecordAlign;

void releaseBlock(XmlRecordBlock* block) {
  if (--block->records > 0) return;
  std::free(block);
  liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

// Frees everything a record owns and the record itself; the children have
// already been dealt with.
void freeRecord(XmlElementData* data) {
  for (int32_t i = 0; i < data->textCount; ++i) {
    if (data->texts[i] != data->blockText) std::free(data->texts[i]);
  }
  for (int32_t i = 0; i < data->sectionCount; ++i) {
    std::free(const_cast<char*>(data->sections[i].value));
  }
  if (data->attrsPacked == kAttrsSeparate) {
    for (int32_t i = 0; i < data->attrCount; ++i) {
      std::free(const_cast<char*>(data->attrs[i].name));
    }
  }
  // Most records own few arrays: skip the calls for the others.
  if (data->children != nullptr) std::free(data->children);
  if (data->texts != &data->inlineText) std::free(data->texts);
  if (data->sections != nullptr) std::free(data->sections);
  if (data->attrs != nullptr && data->attrsPacked != kAttrsPackedInRecordBlock) {
    std::free(data->attrs);
  }
  if (data->contentOrder != data->inlineOrder) std::free(data->contentOrder);
  // The name lives in the same block as the record.
  if (data->block != nullptr) {
    releaseBlock(data->block);
  } else {
    std::free(data);
  }
  liveElements.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace

const RawSectionKind kx_xml::RawSectionKinds[kRawSectionKindCount] = {
    {"<![CDATA[", 9, "]]>"},
    {"<!DOCTYPE", 9, ">"},
    {"<!--", 4, "-->"},
    {"<PRE>", 5, "</PRE>"},
};
const char kx_xml::kDoctypeSubsetClose[] = "]>";

const EntityEntry kx_xml::EntityTable[kEntityCount] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
};

const XmlElement nullElement;

// ---- Handle -------------------------------------------------------------------

XmlElement::XmlElement(const XmlElement& other) noexcept : data_(other.data_) {
  if (data_ != nullptr) ++data_->refCount;
}

XmlElement& XmlElement::operator=(const XmlElement& other) noexcept {
  if (this == &other) return *this;
  XmlElementData* old = data_;
  data_ = nullptr;
  releaseElementData(old);
  data_ = other.data_;
  if (data_ != nullptr) ++data_->refCount;
  return *this;
}

XmlElement& XmlElement::operator=(XmlElement&& other) noexcept {
  if (this == &other) return *this;
  XmlElementData* old = data_;
  data_ = other.data_;
  other.data_ = nullptr;
  releaseElementData(old);
  return *this;
}

XmlElement::~XmlElement() { releaseElementData(data_); }

// ---- Records --------------------------------------------------------------------

bool kx_xml::namesEqual(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  while (*a != '\0' && asciiLower(*a) == asciiLower(*b)) {
    ++a;
    ++b;
  }
  return *a == '\0' && *b == '\0';
}

char* kx_xml::copyText(const char* text, int64_t length) {
  if (text == nullptr) return nullptr;
  size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

kx_xml::XmlRecordPool::~XmlRecordPool() {
  if (block_ != nullptr) releaseBlock(block_);
}

void* kx_xml::XmlRecordPool::allocate(size_t bytes, XmlRecordBlock** block) {
  bytes = (bytes + kRecordAlign - 1) / kRecordAlign * kRecordAlign;
  if (block_ == nullptr || block_->size - block_->used < bytes) {
    // A record too large for a block of the usual sizes gets a block to itself.
    nextSize_ = nextSize_ == 0 ? kFirstBlockSize : std::min(nextSize_ * 2, kMaxBlockSize);
    const size_t size = std::max(nextSize_, kBlockHeader + bytes);
    auto* fresh = static_cast<XmlRecordBlock*>(std::malloc(size));
    if (fresh == nullptr) return nullptr;
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    *fresh = XmlRecordBlock{1, kBlockHeader, size};
    if (block_ != nullptr) releaseBlock(block_);
    block_ = fresh;
  }
  void* room = reinterpret_cast<char*>(block_) + block_->used;
  block_->used += bytes;
  ++block_->records;
  *block = block_;
  return room;
}

char* kx_xml::XmlRecordPool::allocateWithin(XmlRecordBlock* block, size_t bytes) {
  bytes = (bytes + kRecordAlign - 1) / kRecordAlign * kRecordAlign;
  if (block == nullptr || block != block_ || block_->size - block_->used < bytes) return nullptr;
  char* room = reinterpret_cast<char*>(block_) + block_->used;
  block_->used += bytes;
  return room;
}

XmlElementData* kx_xml::newElementData(const char* name, size_t nameLength, bool isDeclaration,
                               XmlRecordPool* pool) {
  size_t bytes = sizeof(XmlElementData) + (name == nullptr ? 0 : nameLength + 1);
  XmlRecordBlock* block = nullptr;
  auto* data = static_cast<XmlElementData*>(pool != nullptr ? pool->allocate(bytes, &block)
                                                            : std::malloc(bytes));
  if (data == nullptr) return nullptr;
  std::memset(data, 0, sizeof(XmlElementData));
  data->block = block;
  if (name != nullptr) {
    data->name = reinterpret_cast<char*>(data + 1);
    std::memcpy(data->name, name, nameLength);
    data->name[nameLength] = '\0';
  }
  data->isDeclaration = isDeclaration ? 1 : 0;
  data->contentOrder = data->inlineOrder;
  data->contentCapacity = kInlineContentEntries;
  data->texts = &data->inlineText;
  data->textCapacity = 1;
  liveElements.fetch_add(1, std::memory_order_relaxed);
  return data;
}

void kx_xml::releaseElementData(XmlElementData* data) {
  if (data == nullptr || --data->refCount > 0) return;
  // Records to free are chained through their parent field (a freed record's
  // children lose their parent anyway), so arbitrarily deep trees are freed
  // without recursion and without allocating.
  data->parent = nullptr;
  XmlElementData* pending = data;
  while (pending != nullptr) {
    XmlElementData* current = pending;
    pending = current->parent;
    for (int32_t i = 0; i < current->childCount; ++i) {
      XmlElementData* child = current->children[i];
      child->parent = nullptr;
      if (--child->refCount == 0) {
        child->parent = pending;
        pending = child;
      }
    }
    freeRecord(current);
  }
}

bool kx_xml::reserveContentSlot(XmlElementData* data, XmlContentKind kind) {
  bool ok = false;
  switch (kind) {
    case kXmlContentElement:
      ok = grow(&data->children, &data->childCapacity, data->childCount);
      break;
    case kXmlContentText:
      ok = grow(&data->texts, &data->textCapacity, data->textCount, &data->inlineText);
      break;
    case kXmlContentSection:
      ok = grow(&data->sections, &data->sectionCapacity, data->sectionCount);
      break;
  }
  int32_t n = data->childCount + data->textCount + data->sectionCount;
  return ok && grow(&data->contentOrder, &data->contentCapacity, n, &data->inlineOrder[0]);
}

int32_t kx_xml::insertContentSlot(XmlElementData* data, XmlContentKind kind, int32_t position) {
  if (!reserveContentSlot(data, kind)) return -1;
  int32_t count = kind == kXmlContentElement ? data->childCount
                  : kind == kXmlContentText  ? data->textCount
                                             : data->sectionCount;
  int32_t n = data->childCount + data->textCount + data->sectionCount;
  int32_t* order = data->contentOrder;
  if (position < 0 || position >= n) {
    order[n] = count * 4 + kind;
    return count;
  }
  std::memmove(order + position + 1, order + position, sizeof(int32_t) * (n - position));
  int32_t found = -1;
  for (int32_t i = position + 1; i <= n; ++i) {
    if ((order[i] & 3) != kind) continue;
    if (found < 0) found = order[i] >> 2;
    order[i] += 4;
  }
  if (found < 0) {
    order[position] = count * 4 + kind;
    return count;
  }
  order[position] = found * 4 + kind;
  switch (kind) {
    case kXmlContentElement:
      std::memmove(data->children + found + 1, data->children + found,
                   sizeof(*data->children) * (count - found));
      break;
    case kXmlContentText:
      std::memmove(data->texts + found + 1, data->texts + found,
                   sizeof(*data->texts) * (count - found));
      break;
    case kXmlContentSection:
      std::memmove(data->sections + found + 1, data->sections + found,
                   sizeof(*data->sections) * (count - found));
      break;
  }
  return found;
}

void kx_xml::removeContentEntry(XmlElementData* data, XmlContentKind kind, int32_t index) {
  int32_t n = data->childCount + data->textCount + data->sectionCount;
  int32_t* order = data->contentOrder;
  int32_t entry = index * 4 + kind;
  int32_t at = 0;
  while (at < n && order[at] != entry) ++at;
  if (at == n) return;
  std::memmove(order + at, order + at + 1, sizeof(int32_t) * (n - at - 1));
  for (int32_t i = at; i < n - 1; ++i) {
    if ((order[i] & 3) == kind) order[i] -= 4;
  }
}

bool kx_xml::reserveAttr(XmlElementData* data) {
  if (data->attrsPacked != kAttrsSeparate) {
    // Give every attribute its own block again, so that the array can grow.
    int32_t count = data->attrCount;
    auto* attrs =
        static_cast<XmlAttr*>(std::calloc(static_cast<size_t>(count) + 1, sizeof(XmlAttr)));
    if (attrs == nullptr) return false;
    for (int32_t i = 0; i < count; ++i) {
      const XmlAttr& old = data->attrs[i];
      size_t nameSize = std::strlen(old.name) + 1;
      size_t valueSize = old.value == nullptr ? 0 : std::strlen(old.value) + 1;
      char* block = static_cast<char*>(std::malloc(nameSize + valueSize));
      if (block == nullptr) {
        for (int32_t j = 0; j < i; ++j) std::free(const_cast<char*>(attrs[j].name));
        std::free(attrs);
        return false;
      }
      std::memcpy(block, old.name, nameSize);
      if (old.value != nullptr) std::memcpy(block + nameSize, old.value, valueSize);
      attrs[i] = XmlAttr{block, old.value == nullptr ? nullptr : block + nameSize};
    }
    if (data->attrsPacked == kAttrsPacked) std::free(data->attrs);
    data->attrs = attrs;
    data->attrCapacity = count + 1;
    data->attrsPacked = kAttrsSeparate;
    return true;
  }
  return grow(&data->attrs, &data->attrCapacity, data->attrCount);
}

int64_t kx_xml::liveXmlElementCount() { return liveElements.load(std::memory_order_relaxed); }

int64_t kx_xml::liveXmlRecordBlockCount() { return liveBlocks.load(std::memory_order_relaxed); }

int32_t kx_xml::xmlRefCount(const XmlElement& element) {
  XmlElementData* data = XmlElementAccess::data(element);
  return data == nullptr ? 0 : data->refCount;
}
