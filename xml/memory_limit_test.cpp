// Memory that runs out while a document is parsed or loaded gives code 10 and
// the null element, never a tree cut short. POSIX only: the limit is an
// address-space limit (setrlimit) set in a child process of the test.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "xml/test_util.h"

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define KX_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KX_SANITIZED 1
#endif

// Bytes of address space the process uses now.
size_t AddressSpaceInUse() {
  unsigned long pages = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Runs in the child: caps the address space a little above what is in use,
// then parses a document whose tree needs far more. Exits 0 when the parse
// gave code 10 and the null element.
void ParseUnderALimit(const std::string& document, bool fromFile) {
  const rlim_t cap = AddressSpaceInUse() + (64u << 20);
  const rlimit limit{cap, cap};
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
  XmlParseResult result{};
  XmlElement root = fromFile ? parseXmlFile(document.c_str(), nullptr, &result)
                             : parseXmlText(document.c_str(), nullptr, &result);
  std::_Exit(root.isNull() && result.code == kXmlCannotOpenFile ? 0 : 1);
}

TEST(MemoryLimitTest, RunningOutOfMemoryGivesCode10) {
#ifdef KX_SANITIZED
  GTEST_SKIP() << "an address-space limit does not work with the sanitizers' shadow memory";
#endif
  // About 3 million elements with an attribute and a text each: several hundred
  // megabytes of tree from a 60 MB text.
  std::string document = "<r>";
  for (int i = 0; i < 3000000; ++i) document += "<e a='1'>t</e>";
  document += "</r>";
  EXPECT_EXIT(ParseUnderALimit(document, false), ::testing::ExitedWithCode(0), "");

  const std::string path = ::testing::TempDir() + "kx_xml_memory_limit.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << document;
  }
  EXPECT_EXIT(ParseUnderALimit(path, true), ::testing::ExitedWithCode(0), "");
  std::remove(path.c_str());
}

}  // namespace
