#include "platform/process_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// `count` processes with ids 1, 2, ...; each named "p<id>.exe" unless the
// test says it opens only with limited access or not at all.
class FakeProcessSource : public os::ProcessSource {
 public:
  explicit FakeProcessSource(size_t count) : count_(count) {}
  bool ListIds(uint32_t* ids, size_t capacity, size_t* returned) override {
    ++calls;
    if (!list_works) return false;
    *returned = std::min(capacity, count_);
    for (size_t i = 0; i < *returned; ++i) ids[i] = static_cast<uint32_t>(i + 1);
    return true;
  }
  bool ModuleBaseName(uint32_t id, std::string* name) override {
    if (access.count(id) != 0) return false;
    *name = "p" + std::to_string(id) + ".exe";
    return true;
  }
  bool ImagePath(uint32_t id, std::string* path) override {
    auto it = access.find(id);
    if (it == access.end() || it->second.empty()) return false;
    *path = it->second;
    return true;
  }

  bool list_works = true;
  int calls = 0;
  /// Processes that do not open with full access: their image path with
  /// limited access, or "" when they do not open at all.
  std::map<uint32_t, std::string> access;

 private:
  size_t count_;
};

// Every process is looked at, however many there are: a list that fills the
// buffer is asked for again with a larger one.
TEST(ProcessListTest, ListsEveryProcess) {
  struct Case {
    size_t count;
    int calls;  // how often the list is asked for
  } cases[] = {{0, 1}, {5, 1}, {1023, 1}, {1024, 2}, {1025, 2}, {2048, 3}, {5000, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    FakeProcessSource source(c.count);
    std::vector<std::string> names;
    ASSERT_TRUE(os::ProcessNamesFrom(source, &names));
    EXPECT_EQ(names.size(), c.count);
    if (c.count > 0) {
      EXPECT_EQ(names.back(), "p" + std::to_string(c.count) + ".exe");
    }
    EXPECT_EQ(source.calls, c.calls);
  }
  FakeProcessSource broken(10);
  broken.list_works = false;
  std::vector<std::string> names{"left over"};
  EXPECT_FALSE(os::ProcessNamesFrom(broken, &names));
  EXPECT_TRUE(names.empty());
}

// A process that opens only with limited access (a service's, SYSTEM's,
// another session's) is named by its image file; one that opens not at all is
// skipped.
TEST(ProcessListTest, NamesByImagePathWhenModulesCannotBeRead) {
  FakeProcessSource source(4);
  source.access[2] = "C:\\Program Files\\Vendor\\ZADIROZ.EXE";
  source.access[3] = "";
  source.access[4] = "/opt/tool/zadiroz";
  std::vector<std::string> names;
  ASSERT_TRUE(os::ProcessNamesFrom(source, &names));
  EXPECT_EQ(names, (std::vector<std::string>{"p1.exe", "ZADIROZ.EXE", "zadiroz"}));
}

}  // namespace
