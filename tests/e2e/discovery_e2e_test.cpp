// End-to-end tests of device discovery and the installed-firmware display
// (-c): the real executable in a scratch package directory, the simulated
// flash tool beside it driven by a scenario, the console, the log, the calls
// the tool received and the files left behind.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/e2e_helpers.h"
#include "tests/support/package_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kListCall[] = "-flashsupport -d p3p_rom.bin tempNicList.xml -p3\n";
constexpr char kListCommand[] = "zadiroz -flashsupport -d p3p_rom.bin tempNicList.xml -p3\n";

// The adapter types of examples/ZOVOREruz.xml and one it does not know.
constexpr char kP3PQ4T[] = R"(venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D")";
constexpr char kP3PD2T[] = R"(venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A91")";
constexpr char kP3PS1T[] = R"(venid="3F1D" devid="0C4F" subvenid="6B2E" subdevid="2B13")";

bool IsWindowsBuild() { return std::string(NativeNewline()) == "\r\n"; }

// One adapter's block of the -c table.
std::string Block(const std::string& mac, const std::string& location, const std::string& pci_id,
                  const std::string& product, const std::string& installed,
                  const std::string& available, const std::string& device_id) {
  return "MAC                  B:D.F     PCI-ID                  NIC\n" + mac + "    " + location +
         "     " + pci_id + "     " + product +
         "\n"
         "\n"
         "   (Installed)            (Available)     Interface     \n"
         "Image     Version      Image     Version   \n"
         "--------------------------------------------------------\n"
         "ROM       " +
         installed + "      ROM       " + available + "  " + device_id + "\n";
}

std::string NotSupported(const std::string& pci_id) {
  return "NIC with PCI ID " + pci_id + " is not identified as a supported REdevi P3P NIC.\n";
}

std::string Failed(const std::string& code) {
  return "Device discovery failed with error code " + code + "\n";
}

class DiscoveryE2eTest : public PackageFixture {
 protected:
  void SetUp() override {
    PackageFixture::SetUp();
    CopyExample("p3p_rom.bin");
    calls_path_ = JoinPath(scratch_, "calls.txt");
  }

  // Writes the scenario; the tool finds it, and writes its calls and state,
  // outside the package directory.
  void WriteScenario(const std::string& body) {
    const std::string path = JoinPath(scratch_, "scenario.xml");
    WriteFileBytes(path, "<?xml version=\"1.0\"?>\n" + body);
    tool_env_ = ToolEnvironment(path, calls_path_, JoinPath(scratch_, "state.txt"));
  }

  ProgramRun ShowInstalled() { return Run({"-c"}, "", true, tool_env_); }

  // The whole log of one -c run around what discovery and the display wrote.
  std::string ExpectedLog(const std::string& middle, int exit_code,
                          const std::string& echo = std::string()) const {
    return RunLog(echo.empty() ? Echo("-c ") : echo, "Started device discovery!\n" + middle,
                  exit_code);
  }

  std::string Calls() const { return ReadFileBytes(calls_path_); }
  bool NicListLeft() const { return fs::exists(PackagePath("tempNicList.xml")); }

  // A -c run whose scenario `body` makes discovery fail: code 2, the banner
  // alone, the log with `middle` after the list command, one call, no list left.
  void ExpectDiscoveryFails(const std::string& body, const std::string& middle) {
    fs::remove(calls_path_);
    const size_t before = ReadFileBytes(log_path_).size();
    WriteScenario("<zadiroz_scenario>" + body + "</zadiroz_scenario>");
    ProgramRun run = ShowInstalled();
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.output, Native(Banner()));
    EXPECT_EQ(MaskStamps(ReadFileBytes(log_path_).substr(before)),
              ExpectedLog(kListCommand + middle, 2));
    EXPECT_EQ(Calls(), kListCall);
    EXPECT_FALSE(NicListLeft());
  }

  std::string calls_path_;
  std::map<std::string, std::string> tool_env_;
};

}  // namespace

TEST_F(DiscoveryE2eTest, ShowsSupportedAdaptersInListOrderAndLogsTheOthers) {
  WriteScenario(std::string("<zadiroz_scenario>\n") +
                R"(<adapter device_id="NIC-A" )" + kP3PQ4T +
                R"( macaddress="02-11-22-33-44-55" product_id="M1" busnumber="5" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>)" +
                R"(<adapter device_id="NIC-X" )" + kP3PS1T +
                R"( macaddress="02-11-22-33-44-66" product_id="M9" busnumber="7" devicenumber="0" funcnumber="0" firmware_id="3.1.2"/>)" +
                R"(<adapter device_id="NIC-B" )" + kP3PD2T +
                R"( macaddress="02-11-22-33-44-77" product_id="M2" busnumber="12" devicenumber="0" funcnumber="1" firmware_id="4.0.600"/>)" +
                "</zadiroz_scenario>\n");
  ProgramRun run = ShowInstalled();
  ASSERT_TRUE(run.started) << run.failure;
  const std::string table =
      Block("02-11-22-33-44-55", "5:0.0", "3F1D-0C4A-6B2E-2A7D", "M1", "4.0.520", "4.0.534",
            "NIC-A") +
      Block("02-11-22-33-44-77", "12:0.1", "3F1D-0C4A-6B2E-2A91", "M2", "4.0.600", "4.0.534",
            "NIC-B");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + table));  // nothing of the tool's own output
  EXPECT_EQ(NewLog(), ExpectedLog(kListCommand + NotSupported("3F1D-0C4F-6B2E-2B13") +
                                      "Device discovery completed successfully!\n" + table,
                                  0));
  EXPECT_EQ(Calls(), kListCall);
  EXPECT_FALSE(NicListLeft());
}

TEST_F(DiscoveryE2eTest, ExampleScenarioMatchesExamplePackage) {
  const std::string path = JoinPath(KX_EXAMPLES_DIR, "scenario.xml");
  tool_env_ = ToolEnvironment(path, calls_path_, JoinPath(scratch_, "state.txt"));
  ProgramRun run = ShowInstalled();
  const std::string table =
      Block("02-5E-ED-AA-00-01", "3:0.0", "3F1D-0C4A-6B2E-2A7D", "REdevi P3P Q4T quad-port",
            "4.0.520", "4.0.534", "P3P Q4T Port 1") +
      Block("02-5E-ED-BB-00-01", "4:0.0", "3F1D-0C4A-6B2E-2A91", "REdevi P3P D2T dual-port",
            "4.0.534", "4.0.534", "P3P D2T Port 1") +
      Block("02-5E-ED-CC-00-01", "5:0.1", "3F1D-0C4A-6B2E-2A7D", "REdevi P3P Q4T quad-port",
            "4.0.602", "4.0.534", "P3P Q4T Port 2");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + table));
  EXPECT_EQ(NewLog(), ExpectedLog(kListCommand + NotSupported("3F1D-0C4F-6B2E-2B13") +
                                      "Device discovery completed successfully!\n" + table,
                                  0));
  EXPECT_FALSE(NicListLeft());
}

TEST_F(DiscoveryE2eTest, FlashedAdapterShowsTheNewVersion) {
  // The state the tool keeps after it flashed 5:0.0 with the package image.
  WriteFileBytes(JoinPath(scratch_, "state.txt"), "5:0.0=4.0.534\n");
  WriteScenario(std::string("<zadiroz_scenario flash_version=\"4.0.534\">") +
                R"(<adapter device_id="NIC-A" )" + kP3PQ4T +
                R"( macaddress="02-11-22-33-44-55" product_id="M1" busnumber="5" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>)" +
                "</zadiroz_scenario>");
  ProgramRun run = ShowInstalled();
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + Block("02-11-22-33-44-55", "5:0.0",
                                                "3F1D-0C4A-6B2E-2A7D", "M1", "4.0.534",
                                                "4.0.534", "NIC-A")));
}

TEST_F(DiscoveryE2eTest, NoSupportedAdapterGivesCode2AndNoTable) {
  WriteScenario(std::string("<zadiroz_scenario>") + R"(<adapter device_id="X" )" + kP3PS1T +
                R"( busnumber="7" devicenumber="0" funcnumber="0" firmware_id="3.1.2"/>)" +
                R"(<adapter device_id="Y" venid="5D2C" devid="0E3B" subvenid="6B2E" subdevid="4C1E")" +
                R"( busnumber="8" devicenumber="0" funcnumber="0" firmware_id="1.0.0"/>)" +
                "</zadiroz_scenario>");
  ProgramRun run = ShowInstalled();
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output, Native(Banner()));
  EXPECT_EQ(NewLog(), ExpectedLog(kListCommand + NotSupported("3F1D-0C4F-6B2E-2B13") +
                                      NotSupported("5D2C-0E3B-6B2E-4C1E") + Failed("0"),
                                  2));
  EXPECT_EQ(Calls(), kListCall);
  EXPECT_FALSE(NicListLeft());
}

TEST_F(DiscoveryE2eTest, MissingToolIsLoggedWithCode98) {
  // A copy of the program in a directory without the tool; PATH has none either.
  const fs::path program = fs::path(KX_PROGRAM_FILE);
  const fs::path alone = fs::path(scratch_) / "alone";
  fs::create_directories(alone);
  const fs::path copy = alone / program.filename();
  fs::copy_file(program, copy);
  ProgramOptions options;
  options.working_directory = package_;
  options.environment = ScratchEnvironment(scratch_);
  options.close_input = true;
  ProgramRun run = RunProgramAndWait(copy.string(), {"-c"}, options);
  ASSERT_TRUE(run.started) << run.failure;
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output, Native(Banner()));
  const std::string echo =
      "Command line supplied:\n\t" + ProgramPathAsSeen(copy.string()) + " -c \n";
  EXPECT_EQ(NewLog(), ExpectedLog(std::string(kListCommand) +
                                      "Could not generate discovery file.\n" + Failed("98"),
                                  2, echo));
  EXPECT_FALSE(NicListLeft());
}

namespace {

// A supported adapter at 5:0.0 with older firmware, for the failure tables.
std::string FailureAdapter() {
  return std::string(R"(<adapter device_id="NIC-A" )") + kP3PQ4T +
         R"( busnumber="5" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>)";
}

// A failed discovery: what the scenario adds to the adapter, and the log
// between the list command and the end stamp.
struct FailedDiscovery {
  const char* name;
  std::string scenario_part;
  std::string middle;
};
void PrintTo(const FailedDiscovery& c, std::ostream* out) { PrintCaseName(c, out); }

std::vector<FailedDiscovery> ToolFailures() {
  const bool posix = !IsWindowsBuild();
  return {
      {"exit 7, file written", R"(<operation name="list" exit="7"/>)", Failed("7")},
      {"exit 7, no file", R"(<operation name="list" exit="7" fault="no_file"/>)",
       "Could not generate discovery file.\n" + Failed("7")},
      {"exit 0, no file", R"(<operation name="discover" fault="no_file"/>)",
       "Could not generate discovery file.\n" + Failed("0")},
      // Killed by SIGTERM on POSIX; on Windows the crash-like code 0xC000013A.
      {"killed", R"(<operation name="list" signal="15"/>)",
       Failed(posix ? "143" : "-1073741510")},
      {"slow, exit 4", R"(<operation name="list" sleep_ms="1200" exit="4"/>)", Failed("4")},
  };
}

std::vector<FailedDiscovery> RejectedLists() {
  const std::string loading = "Loading configuration file tempNicList.xml failed. Error code: ";
  return {
      {"empty file", R"(<operation name="list" fault="body" body_hex=""/>)",
       loading + "3.\ntempNicList.xml: the file is empty.\n" + Failed("0")},
      {"unclosed element", R"(<operation name="list" fault="body"><![CDATA[<kx_rom_discovery><devices>]]></operation>)",
       loading + "1.\ntempNicList.xml: an element is not closed at line 1, column 28.\n" +
           Failed("0")},
      {"other root", R"(<operation name="list" fault="body"><![CDATA[<nic_list/>]]></operation>)",
       loading + "11.\ntempNicList.xml: the expected root element is missing.\n" +
           Failed("0")},
      {"other family", R"(<nic_list type="ROZADO_NIC"/>)",
       "This ZENT tool can only be used to update P3P-series REdevi NICs.\n" + Failed("0")},
      // Rejected although the adapter before the family line matched.
      {"unexpected family after the adapters", R"(<nic_list type="redevi_nic" type_position="last"/>)",
       "Unexpected value 'redevi_nic' in file tempNicList.xml. Expected 'REDEVI_NIC'.\n" +
           Failed("0")},
  };
}

class FailedDiscoveryTest : public DiscoveryE2eTest,
                            public ::testing::WithParamInterface<FailedDiscovery> {};

}  // namespace

TEST_P(FailedDiscoveryTest, IsLoggedAndAdmitsNothing) {
  ExpectDiscoveryFails(FailureAdapter() + GetParam().scenario_part, GetParam().middle);
}

INSTANTIATE_TEST_SUITE_P(ToolFailure, FailedDiscoveryTest, ::testing::ValuesIn(ToolFailures()),
                         CaseName());
INSTANTIATE_TEST_SUITE_P(RejectedList, FailedDiscoveryTest, ::testing::ValuesIn(RejectedLists()),
                         CaseName());

TEST_F(DiscoveryE2eTest, Utf16ListIsRead) {
  // <kx_rom_discovery><type value="REDEVI_NIC"/><devices><device>... in UTF-16 LE with FF FE.
  const std::string list =
      "<kx_rom_discovery><type value=\"REDEVI_NIC\"/><devices><device>"
      "<device_id value=\"W\"/><venid value=\"3F1D\"/><devid value=\"0C4A\"/>"
      "<subvenid value=\"6B2E\"/><subdevid value=\"2A7D\"/><macaddress value=\"AA\"/>"
      "<product_id value=\"P\"/><busnumber value=\"1\"/><devicenumber value=\"2\"/>"
      "<funcnumber value=\"3\"/><fw_item><type value=\"rom\"/>"
      "<firmware_id value=\"4.0.1\"/></fw_item></device></devices></kx_rom_discovery>";
  WriteScenario(R"(<zadiroz_scenario><operation name="list" fault="body" body_hex=")" +
                Utf16Hex(list) +
                R"("/></zadiroz_scenario>)");
  ProgramRun run = ShowInstalled();
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + Block("AA", "1:2.3", "3F1D-0C4A-6B2E-2A7D", "P",
                                                "4.0.1", "4.0.534", "W")));
  EXPECT_FALSE(NicListLeft());
}

TEST_F(DiscoveryE2eTest, StaleListIsDeletedBeforeTheToolRuns) {
  // A list from an earlier run must not pass for this run's when the tool writes none.
  WriteFileBytes(PackagePath("tempNicList.xml"),
                 std::string("<kx_rom_discovery><type value=\"REDEVI_NIC\"/><devices><device>") +
                     "<venid value=\"3F1D\"/><devid value=\"0C4A\"/><subvenid value=\"6B2E\"/>"
                     "<subdevid value=\"2A7D\"/></device></devices></kx_rom_discovery>");
  WriteScenario(R"(<zadiroz_scenario><operation name="list" fault="no_file"/></zadiroz_scenario>)");
  ProgramRun run = ShowInstalled();
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output, Native(Banner()));
  EXPECT_EQ(NewLog(), ExpectedLog(std::string(kListCommand) +
                                      "Could not generate discovery file.\n" + Failed("0"),
                                  2));
  EXPECT_FALSE(NicListLeft());
}
