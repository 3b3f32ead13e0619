#include <string>
#include <utility>

#include "xml/test_util.h"

namespace {

class EditsTest : public XmlTest {};

TEST_F(EditsTest, NullElementIsSafeEverywhere) {
  XmlElement null;
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(nullElement.isNull());
  EXPECT_EQ(childCount(null), 0);
  EXPECT_TRUE(childAt(null, 0).isNull());
  EXPECT_EQ(elementName(null), nullptr);
  EXPECT_FALSE(isDeclaration(null));
  EXPECT_TRUE(parentOf(null).isNull());
  int32_t cursor = 3;
  EXPECT_EQ(attributeValue(null, "a", &cursor), nullptr);
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(attributeCount(null), 0);
  EXPECT_EQ(attributeAt(null, 0).name, nullptr);
  EXPECT_EQ(textCount(null), 0);
  EXPECT_EQ(textAt(null, 0), nullptr);
  EXPECT_EQ(sectionCount(null), 0);
  EXPECT_EQ(sectionAt(null, 0).value, nullptr);
  EXPECT_EQ(contentCount(null), 0);
  EXPECT_EQ(contentAt(null, 0), -1);
  XmlAttr attr = appendAttr(null, "a", "b");
  EXPECT_EQ(attr.name, nullptr);
  EXPECT_EQ(attr.value, nullptr);
  EXPECT_FALSE(insertText(null, "t", -1));
  XmlElement e = createRootElement("e", false);
  EXPECT_TRUE(attachElement(null, e, -1) == e);
  EXPECT_TRUE(attachElement(e, null, -1).isNull());
  EXPECT_EQ(childCount(e), 0);
  EXPECT_EQ(xmlRefCount(e), 1);
  releaseXmlText(nullptr);
}

TEST_F(EditsTest, QueriesByIndexAndName) {
  XmlElement a = parseXmlText("<a k='1' x='2' K='3' k><b/><c/></a>", nullptr, nullptr);
  EXPECT_EQ(childCount(a), 2);
  EXPECT_STREQ(elementName(childAt(a, 1)), "c");
  EXPECT_TRUE(childAt(a, 2).isNull());
  EXPECT_EQ(elementName(childAt(a, 2)), nullptr);
  EXPECT_TRUE(childAt(a, -1).isNull());
  EXPECT_TRUE(parentOf(childAt(a, 0)) == a);

  // Without a cursor the first match; with one, successive matches.
  EXPECT_STREQ(attributeValue(a, "K", nullptr), "1");
  int32_t cursor = 0;
  EXPECT_STREQ(attributeValue(a, "k", &cursor), "1");
  EXPECT_EQ(cursor, 1);
  EXPECT_STREQ(attributeValue(a, "k", &cursor), "3");
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(attributeValue(a, "k", &cursor), nullptr);  // exists, without a value
  EXPECT_EQ(cursor, 4);
  EXPECT_EQ(attributeValue(a, "k", &cursor), nullptr);  // no more
  EXPECT_EQ(cursor, 4);
  EXPECT_EQ(attributeValue(a, "missing", nullptr), nullptr);
  EXPECT_EQ(attributeValue(a, nullptr, nullptr), nullptr);
}

TEST_F(EditsTest, HandlesCountReferences) {
  XmlElement a = createRootElement("a", false);
  EXPECT_EQ(xmlRefCount(a), 1);
  {
    XmlElement copy = a;
    EXPECT_EQ(xmlRefCount(a), 2);
    XmlElement& alias = copy;
    copy = alias;  // assignment to itself changes nothing
    EXPECT_EQ(xmlRefCount(a), 2);
    XmlElement moved = std::move(copy);
    EXPECT_EQ(xmlRefCount(a), 2);
    EXPECT_TRUE(copy.isNull());
    moved = createRootElement("other", false);  // releases its share of a
    EXPECT_EQ(xmlRefCount(a), 1);
  }
  XmlElement b = createRootElement("b", false);
  b = a;
  EXPECT_EQ(xmlRefCount(a), 2);
  EXPECT_STREQ(elementName(b), "a");
}

TEST_F(EditsTest, CreateAndAppend) {
  XmlElement e = createRootElement("item", false);
  XmlAttr first = appendAttr(e, "name", "value");
  EXPECT_STREQ(first.name, "name");
  EXPECT_STREQ(first.value, "value");
  XmlAttr bare = appendAttr(e, "flag", nullptr);
  EXPECT_STREQ(bare.name, "flag");
  EXPECT_EQ(bare.value, nullptr);
  EXPECT_EQ(appendAttr(e, nullptr, "v").name, nullptr);
  EXPECT_EQ(describe(e), "item[name=value flag]");
  XmlElement decl = createRootElement("xml", true);
  EXPECT_TRUE(isDeclaration(decl));
  XmlElement nameless = createRootElement(nullptr, false);
  EXPECT_FALSE(nameless.isNull());
  EXPECT_EQ(elementName(nameless), nullptr);
}

TEST_F(EditsTest, AttachKeepsTheChildAliveThroughItsParent) {
  XmlElement root = createRootElement("root", false);
  {
    XmlElement child = createRootElement("child", false);
    XmlElement result = attachElement(root, child, -1);
    EXPECT_TRUE(result == child);
    EXPECT_EQ(xmlRefCount(child), 3);  // child, result, the parent's array
  }
  XmlElement child = childAt(root, 0);
  EXPECT_EQ(xmlRefCount(child), 2);
  // Freeing the parent leaves a held child as a parentless tree.
  root = XmlElement();
  EXPECT_EQ(xmlRefCount(child), 1);
  EXPECT_TRUE(parentOf(child).isNull());
  EXPECT_STREQ(elementName(child), "child");
}

TEST_F(EditsTest, AttachMovesBetweenParents) {
  XmlElement a = createRootElement("a", false);
  XmlElement b = createRootElement("b", false);
  XmlElement c = createRootElement("c", false);
  attachElement(a, c, -1);
  EXPECT_EQ(xmlRefCount(c), 2);
  attachElement(b, c, -1);
  EXPECT_EQ(xmlRefCount(c), 2);  // the reference moved with it
  EXPECT_EQ(childCount(a), 0);
  EXPECT_EQ(contentCount(a), 0);
  EXPECT_TRUE(parentOf(c) == b);
  EXPECT_EQ(describe(b), "b(c)");
}

TEST_F(EditsTest, AttachRefusesCycles) {
  XmlElement a = createRootElement("a", false);
  XmlElement b = createRootElement("b", false);
  attachElement(a, b, -1);
  attachElement(b, a, -1);
  attachElement(a, a, -1);
  EXPECT_EQ(describe(a), "a(b)");
  EXPECT_TRUE(parentOf(a).isNull());
}

TEST_F(EditsTest, AttachNamelessNodeMovesAllChildren) {
  XmlElement doc = parseXmlText("<x/><y/><z/>", nullptr, nullptr);
  ASSERT_EQ(elementName(doc), nullptr);
  XmlElement target = createRootElement("t", false);
  insertText(target, "text", -1);
  attachElement(target, doc, 0);
  EXPECT_EQ(describe(target), "t(x,y,z,'text')");
  EXPECT_EQ(describe(doc), "#doc");
  XmlElement other = parseXmlText("<p/><q/>", nullptr, nullptr);
  attachElement(target, other, -1);
  EXPECT_EQ(describe(target), "t(x,y,z,'text',p,q)");
}

TEST_F(EditsTest, InsertionAtContentPositions) {
  XmlElement e = parseXmlText("<e>old<o/></e>", nullptr, nullptr);
  ASSERT_TRUE(insertText(e, "new", 0));
  EXPECT_EQ(describe(e), "e('new','old',o)");
  EXPECT_STREQ(textAt(e, 0), "new");
  EXPECT_STREQ(textAt(e, 1), "old");
  EXPECT_EQ(contentAt(e, 0), 0 * 4 + kXmlContentText);
  EXPECT_EQ(contentAt(e, 1), 1 * 4 + kXmlContentText);

  XmlElement f = parseXmlText("<e>text<o/></e>", nullptr, nullptr);
  attachElement(f, createRootElement("n", false), 0);
  EXPECT_EQ(describe(f), "e(n,'text',o)");
  EXPECT_EQ(contentAt(f, 0), 0 * 4 + kXmlContentElement);
  EXPECT_EQ(contentAt(f, 2), 1 * 4 + kXmlContentElement);
  EXPECT_EQ(render(f, false), "<e><n/>text<o/></e>");

  // Positions past the end append.
  attachElement(f, createRootElement("end", false), 99);
  insertText(f, "last", 1000);
  EXPECT_EQ(describe(f), "e(n,'text',o,end,'last')");
  insertText(f, "mid", 3);
  EXPECT_EQ(describe(f), "e(n,'text',o,'mid',end,'last')");
  EXPECT_STREQ(textAt(f, 1), "mid");
}

TEST_F(EditsTest, MovingWithinTheSameParent) {
  struct Case {
    const char* child;
    int32_t position;
    const char* expected;
  };
  const Case cases[] = {
      {"a", 2, "p(b,a,c,d)"}, {"d", 0, "p(d,a,b,c)"}, {"b", -1, "p(a,c,d,b)"},
      {"a", 1, "p(a,b,c,d)"}, {"d", 3, "p(a,b,c,d)"}, {"a", 3, "p(b,c,a,d)"},
      {"a", 4, "p(b,c,d,a)"}, {"c", 0, "p(c,a,b,d)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.child) + " to " + std::to_string(c.position));
    XmlElement p = parseXmlText("<p><a/><b/><c/><d/></p>", nullptr, nullptr);
    XmlElement child;
    for (int32_t i = 0; i < childCount(p); ++i) {
      if (namesEqual(elementName(childAt(p, i)), c.child)) child = childAt(p, i);
    }
    int32_t refs = xmlRefCount(child);
    attachElement(p, child, c.position);
    EXPECT_EQ(describe(p), c.expected);
    EXPECT_EQ(xmlRefCount(child), refs);
  }
}

TEST_F(EditsTest, DeepTreeBuiltByAttachRendersAndReleases) {
  const int32_t depth = 1000000;
  int64_t before = liveXmlElementCount();
  {
    XmlElement top = createRootElement("e", false);
    XmlElement current = top;
    for (int32_t i = 1; i < depth; ++i) {
      XmlElement next = createRootElement("e", false);
      attachElement(current, next, -1);
      current = next;
    }
    EXPECT_EQ(liveXmlElementCount() - before, depth);
    size_t length = 0;
    char* text = renderXml(top, false, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, static_cast<size_t>(depth - 1) * 7 + 4);
    EXPECT_EQ(std::string(text, 8), "<e><e><e");
    releaseXmlText(text);
  }
  EXPECT_EQ(liveXmlElementCount(), before);
  // Built the other way round, each new element becoming the parent.
  {
    XmlElement bottom = createRootElement("e", false);
    for (int32_t i = 1; i < depth; ++i) {
      XmlElement parent = createRootElement("e", false);
      attachElement(parent, bottom, -1);
      bottom = parent;
    }
  }
  EXPECT_EQ(liveXmlElementCount(), before);
}

}  // namespace
