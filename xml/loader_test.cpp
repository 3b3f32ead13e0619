#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "xml/test_util.h"

namespace {

class LoaderTest : public XmlTest {};

const char kExpectedTree[] = "nic_list(device[name=caf\xC3\xA9]('\xE3\x81\x82 & b'))";

TEST_F(LoaderTest, LoadsEveryEncoding) {
  const char* files[] = {
      "testdata/plain.xml",
      "testdata/utf8_bom.xml",
      "testdata/utf16le_bom.xml",
      "testdata/utf16le.xml",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    XmlParseResult result{kXmlNoElement, -1, -1};
    XmlElement e = parseXmlFile(file, "nic_list", &result);
    EXPECT_EQ(result.code, kXmlSuccess);
    EXPECT_EQ(describe(e), kExpectedTree);
    XmlElement whole = parseXmlFile(file, nullptr, &result);
    EXPECT_EQ(describe(whole), std::string("?xml[version=1.0](") + kExpectedTree + ")");
  }
}

TEST_F(LoaderTest, Failures) {
  struct Case {
    const char* path;
    XmlErrorCode code;
    int32_t line;
    int32_t column;
  };
  const Case cases[] = {
      {"testdata/empty.xml", kXmlEmptyFile, 0, 0},
      {"testdata/no-such-file.xml", kXmlCannotOpenFile, 0, 0},
      {"testdata", kXmlCannotOpenFile, 0, 0},
      {nullptr, kXmlCannotOpenFile, 0, 0},
      {"testdata/utf16le_bad.xml", kXmlUtf16ConversionFailed, 0, 0},
      {"testdata/bom_only.xml", kXmlNoElement, 1, 1},
      // Positions do not count the mark.
      {"testdata/bom_error.xml", kXmlUnmatchedEndTag, 2, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path == nullptr ? "null" : c.path);
    XmlParseResult result{kXmlSuccess, -1, -1};
    XmlElement e = parseXmlFile(c.path, nullptr, &result);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.line, c.line);
    EXPECT_EQ(result.column, c.column);
    if (c.code != kXmlNoElement) {
      EXPECT_TRUE(e.isNull());
    }
  }
  EXPECT_TRUE(parseXmlFile("testdata/empty.xml", nullptr, nullptr).isNull());
}

TEST_F(LoaderTest, ExpectedTagMissingInFile) {
  XmlParseResult result{};
  EXPECT_TRUE(parseXmlFile("testdata/plain.xml", "other", &result).isNull());
  EXPECT_EQ(result.code, kXmlExpectedTagMissing);
  EXPECT_EQ(result.line, 0);
}

TEST_F(LoaderTest, TwoGigabyteFileIsRefused) {
  std::filesystem::path path = std::filesystem::temp_directory_path() / "kx_xml_huge.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << "<a/>";
  }
  std::error_code error;
  std::filesystem::resize_file(path, uintmax_t{1} << 31, error);
  if (error) {
    std::filesystem::remove(path);
    GTEST_SKIP() << "cannot make a sparse 2 GiB file here";
  }
  XmlParseResult result{};
  EXPECT_TRUE(parseXmlFile(path.string().c_str(), nullptr, &result).isNull());
  EXPECT_EQ(result.code, kXmlCannotOpenFile);
  std::filesystem::remove(path);
}

}  // namespace
