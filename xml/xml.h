// The program's own small XML document library: a lenient parser and file
// loader, reference-counted element handles, queries and edits on the tree,
// and a writer. It never throws and never prints.
//
// Element and attribute names are compared without regard to ASCII letter case.
// Texts returned by queries belong to the tree: they stay valid until their item
// is removed or its element is freed, and the caller must not free them.
#ifndef KX_XML_XML_H_
#define KX_XML_XML_H_

#include <cstddef>
#include <cstdint>
#include <string>

/// Result codes of parsing, loading and saving. Codes 1 and 2 are warnings (the
/// tree built so far is returned); every other non-zero code comes with the null
/// element.
enum XmlErrorCode : int32_t {
  kXmlSuccess = 0,
  /// An element was still open at the end of the text, or an end tag closed an
  /// ancestor instead of the current element.
  kXmlUnclosedElement = 1,
  /// The text holds no element at all.
  kXmlNoElement = 2,
  /// The file is empty.
  kXmlEmptyFile = 3,
  /// "<" or "<?" not followed by a name.
  kXmlMissingTagName = 4,
  /// "</" not followed by a name and ">".
  kXmlBadEndTag = 5,
  /// An end tag that matches no open element.
  kXmlUnmatchedEndTag = 6,
  /// A comment, CDATA, DOCTYPE or PRE section without its closing delimiter.
  kXmlUnclosedSection = 7,
  /// A token that is not allowed where it stands.
  kXmlUnexpectedToken = 8,
  /// The text pointer is null.
  kXmlNullText = 9,
  /// The file cannot be opened or read, is 2 GiB or larger, or memory ran out
  /// while it was loaded or parsed.
  kXmlCannotOpenFile = 10,
  /// The expected first tag is not there.
  kXmlExpectedTagMissing = 11,
  /// An unknown or malformed entity or character reference.
  kXmlBadEntity = 12,
  /// A character reference above 255.
  kXmlCharRefTooLarge = 13,
  /// UTF-16 text could not be converted.
  kXmlUtf16ConversionFailed = 14,
  /// A file cannot be opened for writing.
  kXmlCannotCreateFile = 15,
  /// A write (or the closing of the written file) failed.
  kXmlWriteFailed = 16,
  /// Elements are nested deeper than kXmlMaxNestingDepth.
  kXmlNestingTooDeep = 17,
};

/// Deepest element nesting the parser accepts. A top-level element has depth 1
/// (a top-level "<?xml ...?>" declaration holds the root element, which then has
/// depth 2). Opening an element deeper than this ends the parse with
/// kXmlNestingTooDeep and the null element.
constexpr int32_t kXmlMaxNestingDepth = 10000;

/// Outcome of a parse. line and column (1-based, the column counted in
/// characters) say where parsing stopped; they mean something only when code is
/// not 0, and are 0 for codes 3, 9, 10, 11 and 14.
struct XmlParseResult {
  XmlErrorCode code;
  int32_t line;
  int32_t column;

  /// The code in words, for a person reading a log, with the place when there is
  /// one: "an end tag that matches no open element at line 4, column 3", "the
  /// file cannot be opened or read". "no error" for code 0; an unknown code
  /// reads "unknown error <code>".
  std::string description() const;
};

/// One attribute. value is null for an attribute written without a value.
struct XmlAttr {
  const char* name;
  const char* value;
};

/// A comment, CDATA, DOCTYPE or PRE section kept verbatim. openTag and closeTag
/// are the delimiters ("<!--" and "-->", "<!DOCTYPE" and ">" or "]>", ...).
struct XmlRawSection {
  const char* value;
  const char* openTag;
  const char* closeTag;
};

/// Kinds of the content entries (contentAt): entry = index * 4 + kind, where the
/// index counts items of that kind (childAt, textAt, sectionAt).
enum XmlContentKind : int32_t {
  kXmlContentElement = 0,
  kXmlContentText = 2,
  kXmlContentSection = 3,
};

// The library's internals live in their own namespace, so that nothing of
// them collides with a program that links it.
namespace kx_xml {
struct XmlElementData;
struct XmlElementAccess;
}  // namespace kx_xml

/// Handle of one element (one pointer). Copies share the element and keep it
/// alive; an element lives while a handle or its parent refers to it. A
/// default-constructed handle is the null element: every operation accepts it.
class XmlElement {
 public:
  constexpr XmlElement() noexcept : data_(nullptr) {}
  XmlElement(const XmlElement& other) noexcept;
  XmlElement(XmlElement&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
  XmlElement& operator=(const XmlElement& other) noexcept;
  XmlElement& operator=(XmlElement&& other) noexcept;
  ~XmlElement();

  /// True for the null element.
  bool isNull() const { return data_ == nullptr; }
  /// True when both handles refer to the same element (or both are null).
  bool operator==(const XmlElement& other) const { return data_ == other.data_; }
  bool operator!=(const XmlElement& other) const { return data_ != other.data_; }

 private:
  friend struct kx_xml::XmlElementAccess;
  explicit XmlElement(kx_xml::XmlElementData* adopted) noexcept : data_(adopted) {}
  kx_xml::XmlElementData* data_;
};

/// The null element, returned by every lookup that finds nothing.
extern const XmlElement nullElement;

// ---- Parsing and loading ----------------------------------------------------

/// Parses a NUL-terminated UTF-8 text; the caller keeps the text. With a
/// non-empty expectedTag whose name the top element does not carry, the result
/// is that top element's first child of that name (code 11 and the null element
/// when there is none). Returns the tree (also with codes 1 and 2) or the null
/// element; result, when given, receives the code and the position.
XmlElement parseXmlText(const char* text, const char* expectedTag, XmlParseResult* result);

/// Loads a file (UTF-8 with or without the EF BB BF mark, or UTF-16
/// little-endian with or without FF FE, converted to UTF-8) and parses it like
/// parseXmlText. A missing or unreadable file gives code 10, an empty one 3.
XmlElement parseXmlFile(const char* path, const char* expectedTag, XmlParseResult* result);

// ---- Queries (all return the empty value for the null element) -------------

/// Number of child elements; 0 for the null element.
int32_t childCount(const XmlElement& element);
/// Child at index (document order), or the null element when out of range.
XmlElement childAt(const XmlElement& element, int32_t index);
/// Name of the element; null for the null element and the nameless document
/// node.
const char* elementName(const XmlElement& element);
/// True for an element opened with "<?" (or created as a declaration).
bool isDeclaration(const XmlElement& element);
/// Parent of the element, or the null element for a top element.
XmlElement parentOf(const XmlElement& element);

/// Value of the first attribute named name (letter case ignored) at or after
/// index *cursor (0 without a cursor). On a match *cursor becomes the index after
/// it; without a match it is left unchanged. Null when nothing matches and also
/// for a matching attribute written without a value.
const char* attributeValue(const XmlElement& element, const char* name, int32_t* cursor);
/// Number of attributes.
int32_t attributeCount(const XmlElement& element);
/// Attribute at index, or {null, null} when out of range.
XmlAttr attributeAt(const XmlElement& element, int32_t index);

/// Number of text items (entity-decoded, trimmed).
int32_t textCount(const XmlElement& element);
/// Text item at index, or null when out of range.
const char* textAt(const XmlElement& element, int32_t index);

/// Number of raw sections (comments, CDATA, DOCTYPE, PRE).
int32_t sectionCount(const XmlElement& element);
/// Raw section at index, or {null, null, null} when out of range.
XmlRawSection sectionAt(const XmlElement& element, int32_t index);

/// Number of content entries (children, texts and sections together).
int32_t contentCount(const XmlElement& element);
/// Content entry at position (index * 4 + XmlContentKind), or -1 when out of
/// range.
int32_t contentAt(const XmlElement& element, int32_t position);

// ---- Edits (do nothing on the null element) --------------------------------

/// New parentless element with a copy of name, no content, held by the
/// returned handle. A null name makes a nameless node (like the document node);
/// the null element comes back only when memory runs out.
XmlElement createRootElement(const char* name, bool isDeclaration);

/// Appends an attribute with copies of name and value (value may be null) and
/// returns it; a null name or the null element appends nothing and returns
/// {null, null}.
XmlAttr appendAttr(const XmlElement& element, const char* name, const char* value);

/// Moves child under parent at a content position (-1, or any position at or
/// beyond contentCount(parent), means the end) and returns a handle of it. A
/// child that has a parent leaves it first; a nameless document node hands all
/// its children over in order and stays empty. Nothing changes when either is
/// null or when child is parent or one of its ancestors (no cycles). Moving
/// within the same parent puts the child before the entry that stood at
/// position before the move.
XmlElement attachElement(const XmlElement& parent, XmlElement child, int32_t position);

/// Inserts a copy of text as a text item at a content position (-1 or beyond
/// the end appends). Returns false (and changes nothing) for the null element,
/// a null text or when memory runs out.
bool insertText(const XmlElement& element, const char* text, int32_t position);

/// Frees a text handed over by the library (renderXml); null is ignored.
void releaseXmlText(char* text);

// ---- Writing ----------------------------------------------------------------

/// Renders the tree as newly allocated NUL-terminated text (free it with
/// releaseXmlText); formatted gives tab indentation and one item per line. The
/// null element, or memory running out, gives null and *length 0. length may be
/// null.
char* renderXml(const XmlElement& element, bool formatted, size_t* length);

/// Writes the UTF-8 mark, a declaration line (unless the tree starts with a
/// declaration) and the rendered tree to path. encodingName is not used: files
/// are always UTF-8. Returns 0 (also for the null element, without touching the
/// file system), 15 when the file cannot be opened, 16 when a write fails.
XmlErrorCode saveXmlFile(const XmlElement& element, const char* path, const char* encodingName,
                         bool formatted);

/// Writes src into dest with &, <, >, " and ' replaced by their entities, plus a
/// NUL; dest must hold escapedLength(src) + 1 bytes. Returns dest. A null src
/// writes an empty text.
char* escapeXmlText(char* dest, const char* src);
/// Byte length of src after escaping, without the terminator; 0 for null.
size_t escapedLength(const char* src);

#endif  // KX_XML_XML_H_
