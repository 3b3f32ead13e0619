#include "inventory/package_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/test_util.h"

namespace inventory_test {
namespace {

std::string Package(const std::string& groups) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<nic_fw_package version=\"1.0\">\n" + groups +
         "</nic_fw_package>\n";
}

// One line per stored entry: key, name, rom text, printed romVersion, fwFile.
std::string Describe(const PackageTables& tables) {
  std::string text;
  for (const auto& [key, nic] : tables.supported) {
    FirmwareVersion rom = nic.romVersion;
    text += key + " " + nic.name + " rom=" + nic.rom + " v=" + rom.Format() + " fw=" + nic.fwFile +
            "\n";
  }
  return text + "firmware_file=" + tables.firmware_file;
}

using PackageConfigTest = InventoryTest;

TEST_F(PackageConfigTest, KeyPadsWithZerosAndNeverTruncates) {
  EXPECT_EQ(SupportedNicKey("4040", "100", "1A2B", "7B"), "4040-0100-1A2B-007B");
  EXPECT_EQ(SupportedNicKey("12345", "0x7B", "1", "abcd"), "12345-0x7B-0001-abcd");
  // A missing ID gives a key that no reported adapter (always four digits) matches.
  EXPECT_EQ(SupportedNicKey("", "0C4A", "6B2E", "2A7D"), "-0C4A-6B2E-2A7D");
}

// How the IDs written in the configuration meet the key of a reported adapter,
// which is always four or more upper-case digits.
TEST_F(PackageConfigTest, KeysMatchReportedAdapters) {
  struct Case {
    const char* ids;  // venid, devid, subvenid, subdevid attributes
    const char* reported_key;
    bool matches;
  } cases[] = {
      {R"(venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D")", "3F1D-0C4A-6B2E-2A7D", true},
      {R"(venid="3f1d" devid="0C4A" subvenid="6B2E" subdevid="2A7D")", "3F1D-0C4A-6B2E-2A7D",
       false},
      {R"(venid="4040" devid="100" subvenid="1A2B" subdevid="7B")", "4040-0100-1A2B-007B", true},
      {R"(venid="0x3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D")", "3F1D-0C4A-6B2E-2A7D",
       false},
      {R"(venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="02A7D")", "3F1D-0C4A-6B2E-2A7D",
       false},
      {R"(devid="0C4A" subvenid="6B2E" subdevid="2A7D")", "0000-0C4A-6B2E-2A7D", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ids);
    WriteFileBytes("ZOVOREruz.xml", Package(std::string("<nic>\n<nic name=\"A\" ") + c.ids +
                                       " rom=\"4.0.534\"/>\n</nic>\n"));
    PackageTables tables;
    LoadPackageConfig(*state_.ui, tables);
    ASSERT_EQ(tables.supported.size(), 1u);

    SupportedNic found;
    found.name = "untouched";
    const int status = FindSupportedNic(*state_.ui, tables, c.reported_key, &found);
    EXPECT_EQ(status, c.matches ? 0 : 1);
    EXPECT_EQ(found.name, c.matches ? "A" : "untouched");
  }
}

TEST_F(PackageConfigTest, FindCopiesAllFieldsOrLogsTheKey) {
  WriteFileBytes("ZOVOREruz.xml",
            Package(R"(<nic><nic name="P3P Q4T" venid="3F1D" devid="0C4A" subvenid="6B2E")"
                    R"( subdevid="2A7D" rom="4.0.534" fwFile="p3p.bin"/></nic>)"));
  PackageTables tables;
  LoadPackageConfig(*state_.ui, tables);

  SupportedNic found;
  ASSERT_EQ(FindSupportedNic(*state_.ui, tables, "3F1D-0C4A-6B2E-2A7D", &found), 0);
  EXPECT_EQ(found.name, "P3P Q4T");
  EXPECT_EQ(found.venid, "3F1D");
  EXPECT_EQ(found.devid, "0C4A");
  EXPECT_EQ(found.subvenid, "6B2E");
  EXPECT_EQ(found.subdevid, "2A7D");
  EXPECT_EQ(found.rom, "4.0.534");
  EXPECT_EQ(found.fwFile, "p3p.bin");
  EXPECT_STREQ(found.romVersion.Format(), "4.0.534");
  EXPECT_EQ(Log(), "");

  EXPECT_EQ(FindSupportedNic(*state_.ui, tables, "3F1D-0C4A-6B2E-22BF", &found), 1);
  EXPECT_EQ(Log(),
            "NIC with PCI ID 3F1D-0C4A-6B2E-22BF is not identified as a supported REdevi P3P "
            "NIC.\n");
}

TEST_F(PackageConfigTest, FileShapes) {
  const std::string kNotFound =
      "Loading configuration file ZOVOREruz.xml failed. Error code: 10.\n"
      "ZOVOREruz.xml: the file cannot be opened or read.\n"
      "File Not found!- Please make sure zadiroz -flashsupport and vareviv_x86.exe are present in "
      "the same directory where KXVaReviv.exe is located.\n";
  struct Case {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file at all
    const char* tables;
    std::string log;
  } cases[] = {
      {"entries directly under the root",
       Package(R"(<nic name="A" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D"/>)"),
       "firmware_file=", ""},
      {"group of another case",
       Package(R"(<NIC><nic name="A" venid="1" devid="2" subvenid="3" subdevid="4"/></NIC>)"),
       "firmware_file=", ""},
      {"entry of another case inside a group",
       Package(R"(<nic><NIC name="A" venid="1" devid="2" subvenid="3" subdevid="4"/></nic>)"),
       "firmware_file=", ""},
      {"attribute names in any case",
       Package(R"(<nic><nic NAME="A" VenID="3F1D" DEVID="0C4A" subVenId="6B2E" subdevid="2A7D")"
               R"( Rom="4.0.534" FWFILE="a.bin"/></nic>)"),
       "3F1D-0C4A-6B2E-2A7D A rom=4.0.534 v=4.0.534 fw=a.bin\nfirmware_file=a.bin", ""},
      {"later fwFile wins, empty ones do not count",
       Package(
           R"(<nic><nic name="A" venid="1" devid="1" subvenid="1" subdevid="1" fwFile="a.bin"/>)"
           R"(<nic name="B" venid="2" devid="2" subvenid="2" subdevid="2" fwFile="b.bin"/>)"
           R"(<nic name="C" venid="3" devid="3" subvenid="3" subdevid="3"/></nic>)"),
       "0001-0001-0001-0001 A rom= v=0.0 fw=a.bin\n"
       "0002-0002-0002-0002 B rom= v=0.0 fw=b.bin\n"
       "0003-0003-0003-0003 C rom= v=0.0 fw=\n"
       "firmware_file=b.bin",
       ""},
      {"entry without rom keeps the earlier romVersion",
       Package(R"(<nic><nic name="A" venid="1" devid="1" subvenid="1" subdevid="1" rom="4.0.534"/>)"
               R"(</nic><nic><nic name="B" venid="2" devid="2" subvenid="2" subdevid="2"/></nic>)"),
       "0001-0001-0001-0001 A rom=4.0.534 v=4.0.534 fw=\n"
       "0002-0002-0002-0002 B rom= v=4.0.534 fw=\n"
       "firmware_file=",
       ""},
      {"later duplicate wins",
       Package(R"(<nic><nic name="A" venid="1" devid="1" subvenid="1" subdevid="1" rom="4.0.1"/>)"
               R"(<other/><nic name="B" venid="0001" devid="1" subvenid="1" subdevid="1")"
               R"( rom="4.0.2"/></nic>)"),
       "0001-0001-0001-0001 B rom=4.0.2 v=4.0.2 fw=\nfirmware_file=", ""},
      {"empty root", std::string("<nic_fw_package/>"), "firmware_file=", ""},
      {"missing file", std::nullopt, "firmware_file=", kNotFound},
      {"another root element", std::string("<package><nic/></package>"),
       "firmware_file=", "Loading configuration file ZOVOREruz.xml failed. Error code: 11.\n"
       "ZOVOREruz.xml: the expected root element is missing.\n"},
      {"unclosed element", Package("<nic><nic name=\"A\" venid=\"1\">\n"),
       "firmware_file=", "Loading configuration file ZOVOREruz.xml failed. Error code: 1.\n"
       "ZOVOREruz.xml: an element is not closed at line 4, column 18.\n"},
      {"empty file", std::string(""),
       "firmware_file=", "Loading configuration file ZOVOREruz.xml failed. Error code: 3.\n"
       "ZOVOREruz.xml: the file is empty.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove("ZOVOREruz.xml");
    ResetLog();
    if (c.file) WriteFileBytes("ZOVOREruz.xml", *c.file);

    PackageTables tables;
    LoadPackageConfig(*state_.ui, tables);
    EXPECT_EQ(Describe(tables), c.tables);
    EXPECT_EQ(Log(), c.log);
  }
}

// A failed load leaves what an earlier load stored.
TEST_F(PackageConfigTest, FailedLoadKeepsTables) {
  PackageTables tables;
  tables.supported["1111-2222-3333-4444"].name = "kept";
  tables.firmware_file = "kept.bin";
  WriteFileBytes("ZOVOREruz.xml", "<nic_fw_package><nic>");
  LoadPackageConfig(*state_.ui, tables);
  EXPECT_EQ(tables.supported.size(), 1u);
  EXPECT_EQ(tables.firmware_file, "kept.bin");
}

}  // namespace
}  // namespace inventory_test
