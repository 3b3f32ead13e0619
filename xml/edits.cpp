// Queries and edits on the tree: children, names, attributes, texts and
// sections by index; creating elements, appending attributes and texts, and
// moving elements between parents.
#include <cstdlib>
#include <cstring>

#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

XmlElementData* dataOf(const XmlElement& element) { return XmlElementAccess::data(element); }

int32_t contentEntries(const XmlElementData* data) {
  return data->childCount + data->textCount + data->sectionCount;
}

// Allocates name and value (either may be null) as one block; the returned
// attribute's name owns it.
bool makeAttr(const char* name, const char* value, XmlAttr* attr) {
  size_t nameSize = std::strlen(name) + 1;
  size_t valueSize = value == nullptr ? 0 : std::strlen(value) + 1;
  char* block = static_cast<char*>(std::malloc(nameSize + valueSize));
  if (block == nullptr) return false;
  std::memcpy(block, name, nameSize);
  if (value != nullptr) std::memcpy(block + nameSize, value, valueSize);
  *attr = XmlAttr{block, value == nullptr ? nullptr : block + nameSize};
  return true;
}

// Removes a child from its parent's children and content order; the child's
// reference goes with it.
void detachFromParent(XmlElementData* child) {
  XmlElementData* parent = child->parent;
  int32_t index = 0;
  while (parent->children[index] != child) ++index;
  removeContentEntry(parent, kXmlContentElement, index);
  std::memmove(parent->children + index, parent->children + index + 1,
               sizeof(*parent->children) * static_cast<size_t>(parent->childCount - index - 1));
  if (--parent->childCount == 0) {
    std::free(parent->children);
    parent->children = nullptr;
    parent->childCapacity = 0;
  }
  child->parent = nullptr;
}

bool isSelfOrAncestor(const XmlElementData* candidate, const XmlElementData* element) {
  if (candidate == element) return true;
  if (candidate->childCount == 0) return false;  // a leaf is nobody's ancestor
  for (const XmlElementData* a = element->parent; a != nullptr; a = a->parent) {
    if (a == candidate) return true;
  }
  return false;
}

// Moves one named element under parent at a content position. Returns false
// when nothing changed (a cycle, or memory ran out).
bool attachOne(XmlElementData* parent, XmlElementData* child, int32_t position) {
  if (isSelfOrAncestor(child, parent)) return false;
  // Make room first, so that a failure leaves the child where it was.
  if (!reserveContentSlot(parent, kXmlContentElement)) return false;
  if (child->parent == nullptr) {
    ++child->refCount;  // the new parent's children array
  } else {
    if (child->parent == parent && position >= 0) {
      // Same parent: the position names the entry the child is to precede, as
      // the content stood before the move.
      int32_t own = 0;
      int32_t n = contentEntries(parent);
      int32_t index = 0;
      while (parent->children[index] != child) ++index;
      while (own < n && parent->contentOrder[own] != index * 4 + kXmlContentElement) ++own;
      if (position < n && own < position) --position;
    }
    detachFromParent(child);
  }
  int32_t index = insertContentSlot(parent, kXmlContentElement, position);
  child->parent = parent;
  parent->children[index] = child;
  ++parent->childCount;
  return true;
}

}  // namespace

int32_t childCount(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? 0 : data->childCount;
}

XmlElement childAt(const XmlElement& element, int32_t index) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || index < 0 || index >= data->childCount) return XmlElement();
  return XmlElementAccess::share(data->children[index]);
}

const char* elementName(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? nullptr : data->name;
}

bool isDeclaration(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data != nullptr && data->isDeclaration != 0;
}

XmlElement parentOf(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? XmlElement() : XmlElementAccess::share(data->parent);
}

const char* attributeValue(const XmlElement& element, const char* name, int32_t* cursor) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || name == nullptr) return nullptr;
  int32_t start = cursor != nullptr && *cursor > 0 ? *cursor : 0;
  for (int32_t i = start; i < data->attrCount; ++i) {
    if (namesEqual(data->attrs[i].name, name)) {
      if (cursor != nullptr) *cursor = i + 1;
      return data->attrs[i].value;
    }
  }
  return nullptr;
}

int32_t attributeCount(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? 0 : data->attrCount;
}

XmlAttr attributeAt(const XmlElement& element, int32_t index) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || index < 0 || index >= data->attrCount) return XmlAttr{nullptr, nullptr};
  return data->attrs[index];
}

int32_t textCount(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? 0 : data->textCount;
}

const char* textAt(const XmlElement& element, int32_t index) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || index < 0 || index >= data->textCount) return nullptr;
  return data->texts[index];
}

int32_t sectionCount(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? 0 : data->sectionCount;
}

XmlRawSection sectionAt(const XmlElement& element, int32_t index) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || index < 0 || index >= data->sectionCount) {
    return XmlRawSection{nullptr, nullptr, nullptr};
  }
  return data->sections[index];
}

int32_t contentCount(const XmlElement& element) {
  XmlElementData* data = dataOf(element);
  return data == nullptr ? 0 : contentEntries(data);
}

int32_t contentAt(const XmlElement& element, int32_t position) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || position < 0 || position >= contentEntries(data)) return -1;
  return data->contentOrder[position];
}

XmlElement createRootElement(const char* name, bool isDeclaration) {
  XmlElementData* data =
      newElementData(name, name == nullptr ? 0 : std::strlen(name), isDeclaration);
  if (data != nullptr) data->refCount = 1;
  return XmlElementAccess::adopt(data);
}

XmlAttr appendAttr(const XmlElement& element, const char* name, const char* value) {
  XmlElementData* data = dataOf(element);
  XmlAttr attr{nullptr, nullptr};
  if (data == nullptr || name == nullptr || !reserveAttr(data) || !makeAttr(name, value, &attr)) {
    return XmlAttr{nullptr, nullptr};
  }
  data->attrs[data->attrCount++] = attr;
  return attr;
}

XmlElement attachElement(const XmlElement& parent, XmlElement child, int32_t position) {
  XmlElementData* p = dataOf(parent);
  XmlElementData* c = dataOf(child);
  if (p == nullptr || c == nullptr) return child;
  if (c->name != nullptr) {
    attachOne(p, c, position);
    return child;
  }
  // A nameless document node hands over all its children, in order.
  if (isSelfOrAncestor(c, p)) return child;
  while (c->childCount > 0) {
    if (!attachOne(p, c->children[0], position)) break;
    if (position >= 0) ++position;
  }
  return child;
}

bool insertText(const XmlElement& element, const char* text, int32_t position) {
  XmlElementData* data = dataOf(element);
  if (data == nullptr || text == nullptr) return false;
  char* copy = copyText(text, -1);
  int32_t index = copy == nullptr ? -1 : insertContentSlot(data, kXmlContentText, position);
  if (index < 0) {
    std::free(copy);
    return false;
  }
  data->texts[index] = copy;
  ++data->textCount;
  return true;
}

void releaseXmlText(char* text) { std::free(text); }
