#include "inventory/nic_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "inventory/discovery.h"
#include "inventory/test_util.h"
#include "platform/text_helpers.h"
#include "xml/xml.h"

namespace inventory_test {
namespace {

constexpr char kCommand[] = "zadiroz -flashsupport -d fw.bin tempNicList.xml -p3\n";
constexpr char kSucceeded[] = "Device discovery completed successfully!\n";
constexpr char kFailed0[] = "Device discovery failed with error code 0\n";

// <tag value="value"/>
std::string El(const std::string& tag, const std::string& value) {
  return "<" + tag + " value=\"" + value + "\"/>";
}

std::string FwItem(const std::string& body) { return "<fw_item>" + body + "</fw_item>"; }

// The adapter that the package supports, with its firmware item.
std::string Device(const std::string& device_id = "NIC-A", const std::string& func = "0",
                   const std::string& firmware_id = "4.0.520",
                   const std::string& subdevid = "2A7D") {
  return "<device>" + El("device_id", device_id) + El("venid", "3F1D") + El("devid", "0C4A") +
         El("subvenid", "6B2E") + El("subdevid", subdevid) +
         El("macaddress", "02-11-22-33-44-5" + func) + El("product_id", "M1") +
         El("busnumber", "5") + El("devicenumber", "0") + El("funcnumber", func) +
         El("slotnumber", "2") +
         FwItem(El("type", "rom") + El("firmware_id", firmware_id) + El("action", "update")) +
         "</device>";
}

std::string List(const std::string& devices, const std::string& family = "REDEVI_NIC") {
  return "<?xml version=\"1.0\"?>\n<kx_rom_discovery version=\"1.0\">" + El("type", family) +
         "<devices>" + devices + "</devices></kx_rom_discovery>\n";
}

// One line per Inventory entry with every field that discovery fills.
std::string Describe(const Inventory& inventory) {
  EXPECT_EQ(inventory.count(), inventory.size());
  std::string text;
  for (size_t i = 0; i < inventory.size(); ++i) {
    NicEntry e = inventory.at(i);
    text += e.device_id + "|" + e.location + "|" + e.pci_id + "|" + e.mac + "|" + e.product_id +
            "|" + e.installed.Format() + "|" + e.available.Format() + "|" + e.firmware_id + "|" +
            e.current_version + "|" + e.version + "|" + e.action + "|" +
            (e.shared ? "shared" : "own") + "|" + std::to_string(e.duration) + "|" + e.message +
            "|" + std::to_string(e.flags) + "\n";
  }
  return text;
}

const std::string kDeviceA =
    "NIC-A|5:0.0|3F1D-0C4A-6B2E-2A7D|02-11-22-33-44-50|M1|4.0.520|4.0.534|"
    "4.0.520|4.0.520||update|own|0||1\n";

class DiscoveryTest : public InventoryTest {
 protected:
  void SetUp() override {
    CopyTestdata("ZOVOREruz.xml");
    CopyTestdata("fw.bin");
  }

  static std::string ExpectedLog(const std::string& list_lines, bool succeeded) {
    return std::string("Started device discovery!\n") + kCommand + list_lines +
           (succeeded ? kSucceeded : kFailed0);
  }
};

TEST_F(DiscoveryTest, NicListCases) {
  struct Case {
    const char* name;
    std::string list;
    std::string log;  // between the command line and the closing line
    bool succeeded;
    std::string inventory;
  } cases[] = {
      {"one supported adapter", List(Device()), "", true, kDeviceA},
      {"no family element",
       "<kx_rom_discovery><devices>" + Device() + "</devices></kx_rom_discovery>", "", true,
       kDeviceA},
      {"family in lower case", List(Device(), "redevi_nic"),
       "Unexpected value 'redevi_nic' in file tempNicList.xml. Expected 'REDEVI_NIC'.\n", false,
       ""},
      {"sibling family", List(Device(), "ROZADO_NIC"),
       "This ZENT tool can only be used to update P3P-series REdevi NICs.\n", false, ""},
      {"empty family", List(Device(), ""),
       "Unexpected value '' in file tempNicList.xml. Expected 'REDEVI_NIC'.\n", false, ""},
      {"family after the devices drops the adapters",
       "<kx_rom_discovery><devices>" + Device() + "</devices>" + El("type", "ROZADO_NIC") +
           "</kx_rom_discovery>",
       "This ZENT tool can only be used to update P3P-series REdevi NICs.\n", false, ""},
      {"firmware type in upper case",
       List("<device>" + El("venid", "3F1D") + El("devid", "0C4A") + El("subvenid", "6B2E") +
            El("subdevid", "2A7D") + FwItem(El("type", "ROM") + El("firmware_id", "4.0.520")) +
            "</device>"),
       "", true, "|:.|3F1D-0C4A-6B2E-2A7D|||4.0.520|4.0.534|4.0.520|4.0.520|||own|0||1\n"},
      {"unexpected firmware type keeps earlier adapters",
       List(Device("NIC-A") + "<device>" + El("device_id", "NIC-B") + El("venid", "3F1D") +
            El("devid", "0C4A") + El("subvenid", "6B2E") + El("subdevid", "2A7D") +
            FwItem(El("type", "NCSI")) + "</device>" + Device("NIC-C")),
       "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is NCSI\n",
       true, kDeviceA},
      {"unexpected firmware type on the first adapter",
       List("<device>" + El("venid", "3F1D") + FwItem(El("type", "")) + "</device>" + Device()),
       "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is \n",
       false, ""},
      {"invalid IDs are logged and read as 0",
       List("<device>" + El("device_id", "NIC-Z") + El("venid", "zz") + El("devid", "0x0C4A") +
            El("subvenid", "6B2E") + El("subdevid", "2A7D") + "</device>" +
            "<device><venid value=\"\"/><devid value=\"FFFFFFFF\"/><subvenid/>" +
            El("subdevid", "2A7D ") + "</device>"),
       "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
       "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
       "Warning!!! - Invalid/Corrupted device ID (XML tag: devid) value.\n"
       "Warning!!! - Invalid/Corrupted sub-vendor ID (XML tag: subvenid) value.\n"
       "Warning!!! - Invalid/Corrupted sub-device ID (XML tag: subdevid) value.\n"
       "NIC with PCI ID 0000-0000-0000-0000 is not identified as a supported REdevi P3P NIC.\n",
       true, "NIC-Z|:.|0000-0C4A-6B2E-2A7D|||0.0|4.1.7|||||own|0||1\n"},
      {"unsupported adapter", List(Device("NIC-A", "0", "4.0.520", "22BF")),
       "NIC with PCI ID 3F1D-0C4A-6B2E-22BF is not identified as a supported REdevi P3P NIC.\n",
       false, ""},
      {"shared, duration, trimming and message",
       List("<device>" + El("device_id", "  NIC A  ") + El("venid", "3f1d") + El("devid", "0C4A") +
            El("subvenid", "6b2e") + El("subdevid", "2a7d") +
            FwItem(El("shared", "no") + El("duration", " 42s") + El("action", " skip ") +
                   El("message", "50% done") + El("version", "v1")) +
            "</device>" + "<device>" + El("device_id", "\tNIC B") + El("venid", "3F1D") +
            El("devid", "0C4A") + El("subvenid", "6B2E") + El("subdevid", "2A7D") +
            FwItem(El("shared", "NO") + El("duration", "-7") + El("action", "\tskip")) +
            "</device>" + "<device>" + El("venid", "3F1D") + El("devid", "0C4A") +
            El("subvenid", "6B2E") + El("subdevid", "2A7D") +
            FwItem(El("shared", "") + El("duration", "x1") + El("duration", "99999999999")) +
            "</device>"),
       "", true,
       "NIC A|:.|3F1D-0C4A-6B2E-2A7D|||0.0|4.0.534|||v1|skip|shared|42|50% done|1\n"
       "\tNIC B|:.|3F1D-0C4A-6B2E-2A7D|||0.0|4.0.534||||\tskip|own|-7||1\n"
       "|:.|3F1D-0C4A-6B2E-2A7D|||0.0|4.0.534|||||shared|2147483647||1\n"},
      {"each adapter starts empty",
       List(Device("NIC-A") + "<device>" + El("venid", "3F1D") + El("devid", "0C4A") +
            El("subvenid", "6B2E") + El("subdevid", "2A7D") + El("devicenumber", "3") +
            "</device>"),
       "", true, kDeviceA + "|:3.|3F1D-0C4A-6B2E-2A7D|||0.0|4.0.534|||||own|0||1\n"},
      {"two ports of one card and a second firmware item",
       List(Device("NIC-A", "0") + Device("NIC-B", "1", "4.0.530") + "<device>" +
            El("device_id", "NIC-C") + El("venid", "3F1D") + El("devid", "0C4A") +
            El("subvenid", "6B2E") + El("subdevid", "2A91") + El("busnumber", "12") +
            El("devicenumber", "0") + El("funcnumber", "0") + FwItem(El("firmware_id", "4.0.1")) +
            FwItem(El("firmware_id", "") + El("version", "x")) + "</device>"),
       "", true,
       kDeviceA +
           "NIC-B|5:0.1|3F1D-0C4A-6B2E-2A7D|02-11-22-33-44-51|M1|4.0.530|4.0.534|4.0.530|4.0.530||"
           "update|own|0||1\n"
           "NIC-C|12:0.0|3F1D-0C4A-6B2E-2A91|||4.0.1|4.0.600||4.0.1|x||own|0||1\n"},
      {"other names ignored at every level",
       "<kx_rom_discovery><Type value=\"ROZADO_NIC\"/><device>" + Device("X") + "</device>" +
           "<DEVICES>" + Device("Y") + "</DEVICES><devices><Device/>" + Device() +
           "</devices></kx_rom_discovery>",
       "", true, kDeviceA},
      {"file with another root element", "<nic_list>" + Device() + "</nic_list>",
       "Loading configuration file tempNicList.xml failed. Error code: 11.\n"
       "tempNicList.xml: the expected root element is missing.\n", false, ""},
      {"broken file", List(Device()).substr(0, 120),
       "Loading configuration file tempNicList.xml failed. Error code: 1.\n"
       "tempNicList.xml: an element is not closed at line 2, column 99.\n", false, ""},
      {"empty file", "",
       "Loading configuration file tempNicList.xml failed. Error code: 3.\n"
       "tempNicList.xml: the file is empty.\n",
       false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunState& state = state_;
    state.inventory.Clear();
    state.discovery_done = false;
    ResetLog();
    runner_->nic_list = c.list;

    EXPECT_EQ(DiscoverDevices(state), 0);
    EXPECT_EQ(Log(), ExpectedLog(c.log, c.succeeded));
    EXPECT_EQ(Describe(state.inventory), c.inventory);
    EXPECT_EQ(state.discovery_done, c.succeeded);
    EXPECT_FALSE(std::filesystem::exists("tempNicList.xml"));
  }
}

// The tool's side of a pass: what it was asked, what it left, and how it ended.
TEST_F(DiscoveryTest, ToolOutcomes) {
  struct Case {
    const char* name;
    bool starts;
    uint32_t exit_code;
    std::optional<std::string> list;
    int result;
    std::string log_tail;
    size_t adapters;
  } cases[] = {
      {"exit 0 with a list", true, 0, List(Device()), 0, kSucceeded, 1},
      {"exit 0 without a list", true, 0, std::nullopt, 0,
       std::string("Could not generate discovery file.\n") + kFailed0, 0},
      {"non-zero exit with a list", true, 3, List(Device()), 3,
       "Device discovery failed with error code 3\n", 0},
      {"non-zero exit without a list", true, 255, std::nullopt, 255,
       "Could not generate discovery file.\nDevice discovery failed with error code 255\n", 0},
      {"tool not started", false, 0, std::nullopt, 98,
       "Could not generate discovery file.\nDevice discovery failed with error code 98\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state_.inventory.Clear();
    state_.discovery_done = false;
    ResetLog();
    runner_->commands.clear();
    runner_->list_present_at_start.clear();
    runner_->starts = c.starts;
    runner_->exit_code_for_all = c.exit_code;
    runner_->nic_list = c.list;
    WriteFileBytes("tempNicList.xml", List(Device("stale")));  // left over from an earlier run

    EXPECT_EQ(DiscoverDevices(state_), c.result);
    EXPECT_EQ(Log(), std::string("Started device discovery!\n") + kCommand + c.log_tail);
    EXPECT_EQ(runner_->commands, std::vector<std::string>{"zadiroz -flashsupport -d fw.bin "
                                                          "tempNicList.xml -p3"});
    EXPECT_EQ(runner_->list_present_at_start, std::vector<bool>{false});
    EXPECT_FALSE(std::filesystem::exists("tempNicList.xml"));
    EXPECT_EQ(state_.inventory.size(), c.adapters);
  }
}

TEST_F(DiscoveryTest, SucceedsOnlyOnce) {
  runner_->nic_list = List(Device());
  ASSERT_EQ(DiscoverDevices(state_), 0);
  const std::string log = Log();
  WriteFileBytes("tempNicList.xml", List(Device("NIC-B", "1")));

  EXPECT_EQ(DiscoverDevices(state_), 0);
  EXPECT_EQ(ParseNicList(state_, "tempNicList.xml"), 0);
  EXPECT_EQ(runner_->commands.size(), 1u);
  EXPECT_EQ(Log(), log);
  EXPECT_TRUE(std::filesystem::exists("tempNicList.xml"));
  EXPECT_EQ(Describe(state_.inventory), kDeviceA);
}

TEST_F(DiscoveryTest, FailedPassRunsAgain) {
  runner_->nic_list = List(Device(), "ROZADO_NIC");
  EXPECT_EQ(DiscoverDevices(state_), 0);
  EXPECT_TRUE(state_.inventory.empty());
  runner_->nic_list = List(Device());
  EXPECT_EQ(DiscoverDevices(state_), 0);
  EXPECT_EQ(runner_->commands.size(), 2u);
  EXPECT_EQ(Describe(state_.inventory), kDeviceA);
}

TEST_F(DiscoveryTest, MissingFirmwareFileStillRuns) {
  std::filesystem::remove("fw.bin");
  WriteFileBytes("ZOVOREruz.xml",
            "<nic_fw_package><nic><nic venid=\"3F1D\" devid=\"0C4A\" "
            "subvenid=\"6B2E\" subdevid=\"2A7D\" rom=\"4.0.534\"/></nic>"
            "</nic_fw_package>");
  runner_->nic_list = List(Device());
  EXPECT_EQ(DiscoverDevices(state_), 0);
  EXPECT_EQ(runner_->commands,
            std::vector<std::string>{"zadiroz -flashsupport -d  tempNicList.xml -p3"});
  EXPECT_EQ(Log(),
            "Started device discovery!\n"
            "Warning: Could not find firmware file !\n"
            "zadiroz -flashsupport -d  tempNicList.xml -p3\n" +
                std::string(kSucceeded));
  EXPECT_EQ(state_.inventory.size(), 1u);
}

TEST_F(DiscoveryTest, RecordedListFromTestdata) {
  runner_->nic_list = ReadFileBytes(testdata_ / "two_ports.xml");
  EXPECT_EQ(DiscoverDevices(state_), 0);
  EXPECT_EQ(Describe(state_.inventory),
            "REdevi P3P Gigabit Ethernet #1|5:0.0|3F1D-0C4A-6B2E-2A7D|02-11-22-33-44-55|P3P Q4T|"
            "4.0.520|4.0.534|4.0.520|4.0.520|ROM v4.0.520|update|shared|30|update available|1\n"
            "REdevi P3P Gigabit Ethernet #2|5:0.1|3F1D-0C4A-6B2E-2A7D|02-11-22-33-44-56|P3P Q4T|"
            "4.0.530|4.0.534|4.0.530|4.0.530|ROM v4.0.530|update|shared|30|update available|1\n");
}

std::string ValueOfChild(const XmlElement& root, const char* name) {
  for (int32_t i = 0; i < childCount(root); ++i) {
    const XmlElement child = childAt(root, i);
    if (std::string(elementName(child)) == name) {
      const char* value = attributeValue(child, "value", nullptr);
      return value != nullptr ? value : "(null)";
    }
  }
  return "(missing)";
}

TEST_F(DiscoveryTest, VersionOnlyFile) {
  struct Case {
    const char* name;
    std::string list;
    bool written;
    const char *current, *package, *takes_effect;
  } cases[] = {
      {"last adapter of the list",
       "<kx_rom_discovery>" + El("takes_effect", "first") + El("type", "REDEVI_NIC") + "<devices>" +
           Device("A", "0", "4.0.520") + Device("B", "1", "4.0.400", "9999") +
           Device("C", "2", "") + "</devices>" + El("takes_effect", "reboot") +
           "</kx_rom_discovery>",
       true, "4.0.400", "4.0.534", "reboot"},
      {"no adapter matched", List(Device("A", "0", "", "9999")), true, "", "", ""},
      {"stopped by a firmware type",
       List(Device() + "<device>" + FwItem(El("type", "NVRAM")) + "</device>"), false, "", "", ""},
      {"rejected family", List(Device(), "ROZADO_NIC"), false, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state_.inventory.Clear();
    state_.discovery_done = false;
    state_.flags.Set(RunFlag::VersionFile);
    state_.report_path = "versions.xml";
    std::filesystem::remove("versions.xml");
    runner_->nic_list = c.list;

    DiscoverDevices(state_);
    ASSERT_EQ(std::filesystem::exists("versions.xml"), c.written);
    if (!c.written) continue;
    const std::string file = ReadFileBytes("versions.xml");
    EXPECT_EQ(file.substr(0, 3), "\xEF\xBB\xBF");
    XmlParseResult parsed{};
    const XmlElement root = parseXmlFile("versions.xml", "kx_rom_discovery", &parsed);
    ASSERT_EQ(parsed.code, kXmlSuccess);
    char own_version[64];
    GetOwnFileVersion(own_version, sizeof own_version);
    EXPECT_STREQ(attributeValue(root, "version", nullptr), own_version);
    ASSERT_EQ(childCount(root), 5);
    EXPECT_EQ(ValueOfChild(root, "type"), "REDEVI_NIC");
    EXPECT_EQ(ValueOfChild(root, "alt_name"),
              "KX REdevi P3P Online Firmware Upgrade Utility for Windows");
    EXPECT_EQ(ValueOfChild(root, "current_version"), c.current);
    EXPECT_EQ(ValueOfChild(root, "package_version"), c.package);
    EXPECT_EQ(ValueOfChild(root, "takes_effect"), c.takes_effect);
    char* rendered = renderXml(root, true, nullptr);
    EXPECT_NE(Log().find("Created an XML file with only FW version information!\n" +
                         std::string(rendered) + "\n"),
              std::string::npos);
    releaseXmlText(rendered);
  }
}

}  // namespace
}  // namespace inventory_test
