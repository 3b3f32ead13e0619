// The version-only file, byte for byte, and its log line.
#include "inventory/version_file.h"

#include <gtest/gtest.h>

#include "inventory/test_util.h"
#include "platform/text_helpers.h"
#include "xml/xml.h"

namespace inventory_test {
namespace {

using VersionFileTest = InventoryTest;

TEST_F(VersionFileTest, FileBytesAndLogLine) {
  char own[64];
  GetOwnFileVersion(own, sizeof own);
  struct Case {
    const char* name;
    const char* current;
    const char* rom;
    const char* takes_effect;
  } cases[] = {
      {"one matched adapter", "4.0.520", "4.0.534", "reboot"},
      {"nothing matched", "", "", ""},
      {"texts that need escaping", "4.0 <beta>", "a\"b&c", "it's"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetLog();
    state_.report_path = "versions.xml";
    SupportedNic matched;
    matched.rom = c.rom;
    WriteVersionOnlyFile(state_, c.current, matched, c.takes_effect);

    auto escaped = [](const std::string& text) {
      std::string out(escapedLength(text.c_str()), '\0');
      escapeXmlText(&out[0], text.c_str());
      return out;
    };
    const std::string tree = std::string("<kx_rom_discovery version=\"") + own + "\">\n" +
                             "\t<type value=\"REDEVI_NIC\"/>\n"
                             "\t<alt_name value=\"KX REdevi P3P Online Firmware Upgrade Utility "
                             "for Windows\"/>\n"
                             "\t<current_version value=\"" + escaped(c.current) + "\"/>\n" +
                             "\t<package_version value=\"" + escaped(c.rom) + "\"/>\n" +
                             "\t<takes_effect value=\"" + escaped(c.takes_effect) + "\"/>\n" +
                             "</kx_rom_discovery>\n";
    EXPECT_EQ(ReadFileBytes("versions.xml"),
              "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + tree);
    EXPECT_EQ(Log(), "Created an XML file with only FW version information!\n" + tree + "\n");
  }
}

}  // namespace
}  // namespace inventory_test
