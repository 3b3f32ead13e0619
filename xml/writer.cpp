// Rendering a tree to text (measured first, then written into one exact
// allocation) and saving it to a file with the UTF-8 mark and a declaration.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml/entities.h"
#include "xml/xml_internal.h"

using namespace kx_xml;

namespace {

// Collects the output, or only counts it when there is no buffer.
class Output {
 public:
  explicit Output(char* buffer) : buffer_(buffer) {}
  size_t size() const { return size_; }

  void put(const char* text, size_t length) {
    if (buffer_ != nullptr) std::memcpy(buffer_ + size_, text, length);
    size_ += length;
  }
  void put(const char* text) { put(text, std::strlen(text)); }
  void put(char c) { put(&c, 1); }
  void tabs(int32_t count) {
    if (count <= 0) return;
    if (buffer_ != nullptr) std::memset(buffer_ + size_, '\t', static_cast<size_t>(count));
    size_ += static_cast<size_t>(count);
  }
  void escaped(const char* text, const char* following = "") {
    size_ += escapeText(buffer_ == nullptr ? nullptr : buffer_ + size_, text, following);
  }

 private:
  char* buffer_;
  size_t size_ = 0;
};

// One open element while rendering. depth is -1 unformatted, n >= 0 formatted
// at depth n, -2 for an element written on one line.
struct Frame {
  const XmlElementData* element;
  int32_t depth;
  int32_t childDepth;
  int32_t next;  // next content entry
};

bool hasName(const XmlElementData* e) { return e->name != nullptr && e->name[0] != '\0'; }

int32_t contentEntries(const XmlElementData* e) {
  return e->childCount + e->textCount + e->sectionCount;
}

// Writes the start tag and returns the frame for the element's content.
Frame openElement(const XmlElementData* e, int32_t d, Output& out) {
  int32_t n = contentEntries(e);
  int32_t indent = d > 0 ? d : 0;
  if (d >= 0 && n == 1 && e->textCount == 1 && !e->isDeclaration) d = -2;
  bool named = hasName(e);
  if (named) {
    out.tabs(indent);
    out.put(e->isDeclaration ? "<?" : "<");
    out.put(e->name);
    for (int32_t i = 0; i < e->attrCount; ++i) {
      const XmlAttr& attr = e->attrs[i];
      if (attr.name == nullptr || attr.name[0] == '\0') continue;
      out.put(' ');
      out.put(attr.name);
      if (attr.value == nullptr) continue;
      out.put("=\"", 2);
      out.escaped(attr.value);
      out.put('"');
    }
    if (e->isDeclaration) {
      out.put("?>", 2);
      if (d != -1) out.put('\n');
    } else if (n > 0) {
      out.put('>');
      if (d >= 0) out.put('\n');
    }
  }
  int32_t childDepth = d == -1 ? -1 : (!named || e->isDeclaration) ? d : d + 1;
  return Frame{e, d, childDepth, 0};
}

void closeElement(const Frame& f, Output& out) {
  const XmlElementData* e = f.element;
  if (!hasName(e) || e->isDeclaration) return;
  if (contentEntries(e) == 0) {
    out.put("/>", 2);
  } else {
    out.tabs(f.depth);
    out.put("</", 2);
    out.put(e->name);
    out.put('>');
  }
  if (f.depth != -1) out.put('\n');
}

// The first bytes (up to three, as many as a character can still need) that
// the flat rendering puts right after the text entry before `next`: those of
// the texts that follow it directly, which a reader joins with it into one text.
struct FollowingBytes {
  char bytes[4] = {};
  FollowingBytes(const XmlElementData* e, int32_t next) {
    int32_t n = 0;
    for (int32_t i = next; i < contentEntries(e) && n < 3; ++i) {
      int32_t entry = e->contentOrder[i];
      if ((entry & 3) != kXmlContentText) break;
      for (const char* t = e->texts[entry >> 2]; *t != '\0' && n < 3; ++t) bytes[n++] = *t;
    }
  }
};

void writeText(const char* text, int32_t d, const Frame& f, Output& out) {
  if (text[0] == '\0') return;
  if (d < 0) {
    // Whether a lead byte at the end starts a complete character depends on
    // the texts written after it: decided on this text alone, the answer
    // changes once a reader has joined them.
    out.escaped(text, FollowingBytes(f.element, f.next).bytes);
    return;
  }
  out.tabs(d + 1);
  out.escaped(text);
  out.put('\n');
}

void writeSection(const XmlRawSection& section, int32_t d, Output& out) {
  if (section.openTag != nullptr && section.openTag[0] != '\0') {
    out.tabs(d + 1);
    out.put(section.openTag);
  }
  if (section.value != nullptr) out.put(section.value);
  if (section.closeTag != nullptr) out.put(section.closeTag);
  if (d != -1) out.put('\n');
}

// Renders the tree with an explicit stack, so any depth works. False when the
// stack cannot grow.
bool renderTree(const XmlElementData* root, int32_t depth, Output& out) {
  int32_t capacity = 64;
  auto* stack = static_cast<Frame*>(std::malloc(sizeof(Frame) * static_cast<size_t>(capacity)));
  if (stack == nullptr) return false;
  int32_t top = 0;
  stack[0] = openElement(root, depth, out);
  while (top >= 0) {
    Frame& f = stack[top];
    const XmlElementData* e = f.element;
    if (f.next == contentEntries(e)) {
      closeElement(f, out);
      --top;
      continue;
    }
    int32_t entry = e->contentOrder[f.next++];
    int32_t index = entry >> 2;
    switch (entry & 3) {
      case kXmlContentText:
        writeText(e->texts[index], f.depth, f, out);
        break;
      case kXmlContentSection:
        writeSection(e->sections[index], f.depth, out);
        break;
      default: {
        Frame child = openElement(e->children[index], f.childDepth, out);
        if (top + 1 == capacity) {
          auto* grown = capacity > INT32_MAX / 2
                            ? nullptr
                            : static_cast<Frame*>(std::realloc(
                                  stack, sizeof(Frame) * static_cast<size_t>(capacity) * 2));
          if (grown == nullptr) {
            std::free(stack);
            return false;
          }
          stack = grown;
          capacity *= 2;
        }
        stack[++top] = child;
        break;
      }
    }
  }
  std::free(stack);
  return true;
}

}  // namespace

char* renderXml(const XmlElement& element, bool formatted, size_t* length) {
  if (length != nullptr) *length = 0;
  const XmlElementData* root = XmlElementAccess::data(element);
  if (root == nullptr) return nullptr;
  int32_t depth = formatted && kXmlOptions.trimText ? 0 : -1;
  Output measure(nullptr);
  if (!renderTree(root, depth, measure)) return nullptr;
  char* text = static_cast<char*>(std::malloc(measure.size() + 1));
  if (text == nullptr) return nullptr;
  Output write(text);
  if (!renderTree(root, depth, write) || write.size() != measure.size()) {
    std::free(text);
    return nullptr;
  }
  text[write.size()] = '\0';
  if (length != nullptr) *length = write.size();
  return text;
}

XmlErrorCode saveXmlFile(const XmlElement& element, const char* path, const char* encodingName,
                         bool formatted) {
  (void)encodingName;  // files are always written as UTF-8
  const XmlElementData* root = XmlElementAccess::data(element);
  if (root == nullptr) return kXmlSuccess;
  std::FILE* file = path == nullptr ? nullptr : std::fopen(path, "wb");
  if (file == nullptr) return kXmlCannotCreateFile;
  bool startsWithDeclaration =
      root->isDeclaration != 0 ||
      (!hasName(root) && root->childCount > 0 && root->children[0]->isDeclaration != 0);
  static const char kMark[] = "\xEF\xBB\xBF";
  static const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  bool ok = std::fwrite(kMark, 1, 3, file) == 3;
  if (ok && !startsWithDeclaration) {
    ok = std::fwrite(kDeclaration, 1, sizeof kDeclaration - 1, file) == sizeof kDeclaration - 1;
  }
  size_t length = 0;
  char* text = ok ? renderXml(element, formatted, &length) : nullptr;
  ok = ok && text != nullptr && length > 0 && std::fwrite(text, 1, length, file) == length;
  releaseXmlText(text);
  if (std::fclose(file) != 0) ok = false;
  return ok ? kXmlSuccess : kXmlWriteFailed;
}
