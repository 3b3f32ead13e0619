// Tests of what only the POSIX side of the operating-system layer does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/os.h"

namespace {

// A file that is found and executable but that exec refuses (no known format,
// no "#!" line) never ran: "could not start", not an exit code of its own.
TEST(OsPosixTest, ProgramThatExecRefusesCannotStart) {
  std::string dir;
  ASSERT_TRUE(os::TempDirectory(&dir));
  const std::string path = dir + "kx-not-a-program-" + std::to_string(getpid());
  {
    std::ofstream out(path, std::ios::binary);
    out << "neither a program nor a script\n";
  }
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);

  uint32_t code = 12345;
  EXPECT_FALSE(os::StartAndWait(path + " -x", &code));
  EXPECT_EQ(code, 12345u);
  // A program that runs and fails is a different thing: its exit code comes back.
  EXPECT_TRUE(os::StartAndWait("/bin/false", &code));
  EXPECT_EQ(code, 1u);
  EXPECT_TRUE(os::RemoveFile(path));
}

}  // namespace
