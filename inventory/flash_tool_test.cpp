#include "inventory/flash_tool.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Texts without a blank in any argument stay as they always were.
TEST(FlashToolTest, CommandsQuoteOnlyWhatNeedsIt) {
  struct Case {
    std::string command;
    const char* expected;
  } cases[] = {
      {ListAdaptersCommand("p3p_rom.bin"),
       "zadiroz -flashsupport -d p3p_rom.bin tempNicList.xml -p3"},
      {ListAdaptersCommand(""), "zadiroz -flashsupport -d  tempNicList.xml -p3"},
      {WriteReportCommand("p3p rom.bin", "/srv/fw reports/r.xml"),
       "zadiroz -flashsupport -d \"p3p rom.bin\" \"/srv/fw reports/r.xml\" -p3"},
      {UpdateFromReportCommand("p3p_rom.bin", "C:\\fw reports\\r.xml"),
       "zadiroz -flashsupport -u p3p_rom.bin \"C:\\fw reports\\r.xml\" tempNicList.xml -p3"},
      {FlashAdapterCommand("5:0.0", "fw\tfile.bin"),
       "zadiroz -flashsupport -i 5:0.0 -a \"fw\tfile.bin\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.command, c.expected);
  }
}

}  // namespace
