#include "inventory/installed_display.h"

#include <gtest/gtest.h>

#include <string>

#include "inventory/test_util.h"

namespace inventory_test {
namespace {

constexpr char kHeader[] = "MAC                  B:D.F     PCI-ID                  NIC\n";
constexpr char kColumns[] =
    "\n"
    "   (Installed)            (Available)     Interface     \n"
    "Image     Version      Image     Version   \n"
    "--------------------------------------------------------\n";

NicEntry Entry(const std::string& mac, const std::string& location, const std::string& pci_id,
               const std::string& product_id, const char* installed, const char* available,
               const std::string& device_id) {
  NicEntry entry;
  entry.mac = mac;
  entry.location = location;
  entry.pci_id = pci_id;
  entry.product_id = product_id;
  if (*installed != '\0') entry.installed.Parse(installed, true);
  entry.available.Parse(available, true);
  entry.device_id = device_id;
  entry.flags = kNicSupported;
  return entry;
}

TEST(DisplayBlockTest, Layout) {
  struct Case {
    const char* name;
    NicEntry entry;
    std::string block;
  } cases[] = {
      {"the usual widths",
       Entry("02-11-22-33-44-55", "5:0.0", "1234-5678-9ABC-DEF0", "M1", "4.0.520", "4.0.534",
             "NIC-A"),
       std::string(kHeader) + "02-11-22-33-44-55    5:0.0     1234-5678-9ABC-DEF0     M1\n" +
           kColumns + "ROM       4.0.520      ROM       4.0.534  NIC-A\n"},
      {"a longer location shifts its line only",
       Entry("02-11-22-33-44-55", "12:0.0", "1234-5678-9ABC-DEF0", "M1", "4.0.520", "4.10.1534",
             "NIC-A"),
       std::string(kHeader) + "02-11-22-33-44-55    12:0.0     1234-5678-9ABC-DEF0     M1\n" +
           kColumns + "ROM       4.0.520      ROM       4.10.1534  NIC-A\n"},
      {"no installed version, percent signs",
       Entry("%s-%d", "5:0.1", "3F1D-0C4A-6B2E-2A7D", "100% P3P", "", "4.0.534", "NIC %n #2"),
       std::string(kHeader) + "%s-%d    5:0.1     3F1D-0C4A-6B2E-2A7D     100% P3P\n" + kColumns +
           "ROM       0.0      ROM       4.0.534  NIC %n #2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InstalledFirmwareBlock(c.entry), c.block);
  }
}

class DisplayTest : public InventoryTest {
 protected:
  void SetUp() override {
    CopyTestdata("ZOVOREruz.xml");
    CopyTestdata("fw.bin");
  }
};

TEST_F(DisplayTest, TwoAdaptersInListOrder) {
  runner_->nic_list = ReadFileBytes(testdata_ / "two_ports.xml");
  EXPECT_TRUE(ShowInstalledFirmware(state_));

  const std::string table =
      std::string(kHeader) + "02-11-22-33-44-55    5:0.0     3F1D-0C4A-6B2E-2A7D     P3P Q4T\n" +
      kColumns + "ROM       4.0.520      ROM       4.0.534  REdevi P3P Gigabit Ethernet #1\n" +
      kHeader + "02-11-22-33-44-56    5:0.1     3F1D-0C4A-6B2E-2A7D     P3P Q4T\n" + kColumns +
      "ROM       4.0.530      ROM       4.0.534  REdevi P3P Gigabit Ethernet #2\n";
  EXPECT_EQ(Console(), table);
  const std::string log = Log();
  ASSERT_GE(log.size(), table.size());
  EXPECT_EQ(log.substr(log.size() - table.size()), table);
}

TEST_F(DisplayTest, NothingSupportedGivesTwo) {
  struct Case {
    const char* name;
    bool starts;
    std::optional<std::string> list;
  } cases[] = {
      {"tool not started", false, std::nullopt},
      {"no list", true, std::nullopt},
      {"rejected family", true,
       "<kx_rom_discovery><type value=\"ROZADO_NIC\"/></kx_rom_discovery>"},
      {"unsupported adapter", true,
       "<kx_rom_discovery><devices><device><venid value=\"1\"/></device></devices>"
       "</kx_rom_discovery>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    runner_->starts = c.starts;
    runner_->nic_list = c.list;
    EXPECT_FALSE(ShowInstalledFirmware(state_));
    EXPECT_EQ(Console(), "");
    EXPECT_EQ(Log().find("MAC "), std::string::npos);
  }
}

}  // namespace
}  // namespace inventory_test
