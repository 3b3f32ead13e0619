// End-to-end tests of the report modes: -d (the flash tool writes a discovery
// report), -u (the flash tool updates from one), -ql, and -v on its own. The
// real executable runs against the simulated flash tool; each case checks the
// console, the exit code, the log, the calls the tool received and the files
// left in the package directory.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/package_fixture.h"
#include "tests/support/e2e_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr char kListCall[] = "-flashsupport -d p3p_rom.bin tempNicList.xml -p3";
constexpr char kReportCall[] = "-flashsupport -d p3p_rom.bin report.xml -p3";
constexpr char kUpdateCall[] = "-flashsupport -u p3p_rom.bin report.xml tempNicList.xml -p3";
constexpr char kNotSupported[] =
    "NIC with PCI ID 3F1D-0C4F-6B2E-2B13 is not identified as a supported REdevi P3P NIC.\n";
constexpr char kNoSupported[] = "No supported network adapters for firmware upgrade.\n";
constexpr char kGenerated[] = "\nSuccessfully generated NIC discovery report to report.xml.\n";
constexpr char kNotGenerated[] = "\nFailed to generate NIC discovery report to report.xml.\n";
constexpr char kReportMissing[] = "Error: Discovery file report.xml not found!.\n";
constexpr char kNotProcessed[] = "Error: Failed to process discovery file report.xml.\n";
constexpr char kNotCreated[] = "Failed to create file  with only firmware version details!\n";

// A report from an earlier run; -d must replace it, -u passes it to the tool.
constexpr char kOldReport[] =
    "<kx_rom_discovery><type value=\"REDEVI_NIC\"/><devices><device>"
    "<busnumber value=\"5\"/><devicenumber value=\"0\"/><funcnumber value=\"0\"/>"
    "</device></devices></kx_rom_discovery>\n";

// The package of examples/ZOVOREruz.xml without any `fwFile`.
constexpr char kPackageWithoutImage[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<nic_fw_package version=\"1.0\"><nic name=\"REdevi P3P adapters\">"
    "<nic name=\"REdevi P3P Q4T quad-port\" venid=\"3F1D\" devid=\"0C4A\" subvenid=\"6B2E\" "
    "subdevid=\"2A7D\" rom=\"4.0.534\"/></nic></nic_fw_package>\n";

// A supported P3P Q4T at bus:0.0, and a P3P S1T that the package does not know.
std::string Adapter(const std::string& bus, const std::string& installed) {
  return "<adapter device_id=\"NIC " + bus +
         "\" venid=\"3F1D\" devid=\"0C4A\" subvenid=\"6B2E\" subdevid=\"2A7D\""
         " macaddress=\"02-5E-ED-AA-00-0" +
         bus + "\" product_id=\"P3P Q4T\" busnumber=\"" + bus +
         "\" devicenumber=\"0\" funcnumber=\"0\" firmware_id=\"" + installed + "\"/>\n";
}
std::string Unsupported(const std::string& bus) {
  return "<adapter device_id=\"NIC " + bus +
         "\" venid=\"3F1D\" devid=\"0C4F\" subvenid=\"6B2E\" subdevid=\"2B13\" busnumber=\"" + bus +
         "\" devicenumber=\"0\" funcnumber=\"0\" firmware_id=\"3.1.2\"/>\n";
}

// A tool call as the log shows it.
std::string Logged(const std::string& call) { return "zadiroz " + call + "\n"; }

// Discovery's log lines, with `between` after the list command.
std::string Discovered(const std::string& between = "") {
  return "Started device discovery!\n" + Logged(kListCall) + between +
         "Device discovery completed successfully!\n";
}
std::string DiscoveryFailed(const std::string& between, const std::string& code) {
  return "Started device discovery!\n" + Logged(kListCall) + between +
         "Device discovery failed with error code " + code + "\n";
}

// What one run of the utility should leave behind.
struct Outcome {
  int code;
  std::string printed;  ///< the console after the banner
  std::string middle;   ///< the log between the two stamps
  std::vector<std::string> calls;
  std::vector<std::string> files;  ///< the package directory afterwards, sorted
};

class ReportE2eTest : public PackageFixture {
 protected:
  void SetUp() override {
    PackageFixture::SetUp();
    CopyExample("p3p_rom.bin");
    calls_path_ = JoinPath(scratch_, "calls.txt");
    state_path_ = JoinPath(scratch_, "state.txt");
  }

  // The package directory as shipped; the tool has neither calls nor flashes.
  void ResetPackage() {
    for (const auto& entry : fs::directory_iterator(package_)) fs::remove_all(entry.path());
    CopyExample("ZOVOREruz.xml");
    CopyExample("p3p_rom.bin");
    fs::remove(calls_path_);
    fs::remove(state_path_);
  }

  // The scenario of the flash tool, kept outside the package directory, with
  // the package image at 4.0.534.
  void Scenario(const std::string& body) {
    ASSERT_TRUE(WriteFileBytes(JoinPath(scratch_, "scenario.xml"),
                               "<?xml version=\"1.0\"?>\n"
                               "<zadiroz_scenario flash_version=\"4.0.534\">\n" +
                                   body + "</zadiroz_scenario>\n"));
  }

  ProgramRun RunTool(const std::vector<std::string>& args) {
    return Run(args, "", true,
               ToolEnvironment(JoinPath(scratch_, "scenario.xml"), calls_path_, state_path_));
  }

  // The calls the flash tool received since the last look, one per line.
  std::vector<std::string> TakeCalls() {
    std::vector<std::string> calls = ReadLines(calls_path_);
    fs::remove(calls_path_);
    return calls;
  }

  std::vector<std::string> PackageFiles() const { return DirectoryNames(package_); }

  // Runs the utility with `args` and checks its console, exit code and log,
  // the calls the tool received and the package directory afterwards.
  void RunAndCheck(const std::vector<std::string>& args, const Outcome& expected) {
    std::string echo;
    for (const std::string& arg : args) echo += arg + " ";
    fs::remove(calls_path_);
    const size_t log_before = ReadFileBytes(log_path_).size();
    ProgramRun run = RunTool(args);
    ASSERT_TRUE(run.started) << run.failure;
    EXPECT_EQ(run.exit_code, expected.code);
    EXPECT_EQ(run.output, Native(Banner() + expected.printed));
    EXPECT_EQ(MaskStamps(ReadFileBytes(log_path_).substr(log_before)),
              RunLog(Echo(echo), expected.middle, expected.code));
    EXPECT_EQ(TakeCalls(), expected.calls);
    EXPECT_EQ(PackageFiles(), expected.files);
  }

  std::string calls_path_;
  std::string state_path_;
};

enum class Report { kGone, kOld, kNew };

struct DiscoveryReportCase {
  const char* name;
  std::string scenario;
  Outcome expected;
  Report report;
};
void PrintTo(const DiscoveryReportCase& c, std::ostream* out) { PrintCaseName(c, out); }

std::vector<DiscoveryReportCase> DiscoveryReportCases() {
  const std::vector<std::string> with_report = {"ZOVOREruz.xml", "p3p_rom.bin", "report.xml"};
  return {
      {"report written",
       Adapter("5", "4.0.520") + Unsupported("7"),
       {1,
        kGenerated,
        Discovered(kNotSupported) + Logged(kReportCall) + kGenerated,
        {kListCall, kReportCall},
        with_report},
       Report::kNew},
      // The old report went before the tool ran, so the failed run leaves none.
      {"tool fails on the report",
       Adapter("5", "4.0.520") + R"(<operation name="report" exit="7" fault="no_file"/>)",
       {0,
        kNotGenerated,
        Discovered() + Logged(kReportCall) + kNotGenerated,
        {kListCall, kReportCall},
        {"ZOVOREruz.xml", "p3p_rom.bin"}},
       Report::kGone},
      // A tool that claims success without writing the report has not made one.
      {"tool exits 0 without a report",
       Adapter("5", "4.0.520") + R"(<operation name="report" exit="0" fault="no_file"/>)",
       {0,
        kNotGenerated,
        Discovered() + Logged(kReportCall) + kNotGenerated,
        {kListCall, kReportCall},
        {"ZOVOREruz.xml", "p3p_rom.bin"}},
       Report::kGone},
      {"discovery fails",
       Adapter("5", "4.0.520") + R"(<operation name="list" exit="7"/>)",
       {0, "", DiscoveryFailed("", "7"), {kListCall}, with_report},
       Report::kOld},
      // An empty Inventory counts as a failed discovery: 0, not 3.
      {"no supported adapter",
       Unsupported("7"),
       {0, "", DiscoveryFailed(kNotSupported, "0"), {kListCall}, with_report},
       Report::kOld},
  };
}

class DiscoveryReportTest : public ReportE2eTest, public ::testing::WithParamInterface<DiscoveryReportCase> {};

TEST_P(DiscoveryReportTest, ReplacesAnOldOneOnlyAfterDiscovery) {
  const DiscoveryReportCase& c = GetParam();
  ResetPackage();
  ASSERT_TRUE(WriteFileBytes(PackagePath("report.xml"), kOldReport));
  Scenario(c.scenario);
  RunAndCheck({"-d", "report.xml"}, c.expected);
  const std::string report = ReadFileBytes(PackagePath("report.xml"));
  switch (c.report) {
    case Report::kGone:
      break;
    case Report::kOld:
      EXPECT_EQ(report, kOldReport);
      break;
    case Report::kNew:  // the tool's own list of every adapter
      EXPECT_NE(report.find("<kx_rom_discovery"), std::string::npos) << report;
      EXPECT_NE(report.find("02-5E-ED-AA-00-05"), std::string::npos) << report;
      EXPECT_NE(report.find("2B13"), std::string::npos) << report;
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Report, DiscoveryReportTest, ::testing::ValuesIn(DiscoveryReportCases()), CaseName());

struct UpdateFromReportCase {
  const char* name;
  bool report;          // report.xml present
  bool image;           // p3p_rom.bin present
  std::string package;  // ZOVOREruz.xml; empty: the example's
  std::string operations;
  Outcome expected;
};
void PrintTo(const UpdateFromReportCase& c, std::ostream* out) { PrintCaseName(c, out); }

std::vector<UpdateFromReportCase> UpdateFromReportCases() {
  const std::vector<std::string> after_tool = {"ZOVOREruz.xml", "p3p_rom.bin", "report.xml",
                                               "tempNicList.xml"};
  return {
      {"report missing",
       false,
       true,
       "",
       "",
       {0, "", kReportMissing, {}, {"ZOVOREruz.xml", "p3p_rom.bin"}}},
      {"image missing",
       true,
       false,
       "",
       "",
       {3,
        kNoSupported,
        std::string("Warning: Could not find firmware file p3p_rom.bin!\n") + kNoSupported,
        {},
        {"ZOVOREruz.xml", "report.xml"}}},
      {"no fwFile in the package",
       true,
       true,
       kPackageWithoutImage,
       "",
       {3,
        kNoSupported,
        std::string("Warning: Could not find firmware file !\n") + kNoSupported,
        {},
        {"ZOVOREruz.xml", "p3p_rom.bin", "report.xml"}}},
      // The NIC list the tool writes after the update is the tool's; it stays.
      {"tool exits 0",
       true,
       true,
       "",
       "",
       {2, kComplete, Logged(kUpdateCall) + kComplete, {kUpdateCall}, after_tool}},
      {"tool exits 5",
       true,
       true,
       "",
       R"(<operation name="update" exit="5"/>)",
       {3, kNothing, Logged(kUpdateCall) + kNothing, {kUpdateCall}, after_tool}},
      {"tool exits 7",
       true,
       true,
       "",
       R"(<operation name="update" exit="7"/>)",
       {0, kNotProcessed, Logged(kUpdateCall) + kNotProcessed, {kUpdateCall}, after_tool}},
  };
}

class UpdateFromReportTest : public ReportE2eTest, public ::testing::WithParamInterface<UpdateFromReportCase> {};

TEST_P(UpdateFromReportTest, ChecksItsInputsAndMapsTheToolResult) {
  const UpdateFromReportCase& c = GetParam();
  ResetPackage();
  if (c.report) {
    ASSERT_TRUE(WriteFileBytes(PackagePath("report.xml"), kOldReport));
  }
  if (!c.image) fs::remove(PackagePath("p3p_rom.bin"));
  if (!c.package.empty()) {
    ASSERT_TRUE(WriteFileBytes(PackagePath("ZOVOREruz.xml"), c.package));
  }
  Scenario(Adapter("5", "4.0.520") + c.operations);
  RunAndCheck({"-u", "report.xml"}, c.expected);
  if (c.report) {
    EXPECT_EQ(ReadFileBytes(PackagePath("report.xml")), kOldReport);
  }
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateFromReportTest, ::testing::ValuesIn(UpdateFromReportCases()), CaseName());

struct VersionOnlyCase {
  const char* name;
  std::vector<std::string> args;
  std::string scenario;
  Outcome expected;
};
void PrintTo(const VersionOnlyCase& c, std::ostream* out) { PrintCaseName(c, out); }

std::vector<VersionOnlyCase> VersionOnlyCases() {
  const std::vector<std::string> package = {"ZOVOREruz.xml", "p3p_rom.bin"};
  return {
      // Without -v there is no file name, and the pass writes no file.
      {"version only", {"-ql"},
       Adapter("5", "4.0.520"),
       {1, kNotCreated, Discovered() + kNotCreated, {kListCall}, package}},
      {"version only, no supported adapter", {"-ql"},
       Unsupported("7"),
       {4, kNoSupported, DiscoveryFailed(kNotSupported, "0") + kNoSupported, {kListCall}, package}},
      {"version only, discovery fails", {"-ql"},
       Adapter("5", "4.0.520") + R"(<operation name="list" exit="7"/>)",
       {4, kNoSupported, DiscoveryFailed("", "7") + kNoSupported, {kListCall}, package}},
      // -v alone does no work: no discovery, no file.
      {"version file alone", {"-v", "versions.xml"}, Adapter("5", "4.0.520"), {0, "", "", {}, package}},
  };
}

class VersionOnlyTest : public ReportE2eTest, public ::testing::WithParamInterface<VersionOnlyCase> {};

TEST_P(VersionOnlyTest, WritesNoFile) {
  const VersionOnlyCase& c = GetParam();
  ResetPackage();
  Scenario(c.scenario);
  RunAndCheck(c.args, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Run, VersionOnlyTest, ::testing::ValuesIn(VersionOnlyCases()), CaseName());

TEST_F(ReportE2eTest, VersionOnlyWithVersionFileIsRefused) {
  Scenario(Adapter("5", "4.0.520"));
  ProgramRun run = RunTool({"-ql", "-v", "x"});
  ASSERT_TRUE(run.started) << run.failure;
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, Native(Banner() + Usage()));
  EXPECT_EQ(NewLog(), Native(kChecking + Banner() + Echo("-ql -v x ") +
                             "Upgrade began: <date>\n\n" + Usage()));
  EXPECT_EQ(TakeCalls(), std::vector<std::string>{});
  EXPECT_EQ(PackageFiles(), (std::vector<std::string>{"ZOVOREruz.xml", "p3p_rom.bin"}));
}

TEST_F(ReportE2eTest, ReportFromDiscoveryDrivesTheUpdate) {
  // The deployment steps: report, update from it, then check the result.
  Scenario(Adapter("5", "4.0.520") + Adapter("6", "4.0.520") + Unsupported("7"));
  ProgramRun report = RunTool({"-d", "report.xml"});
  EXPECT_EQ(report.exit_code, 1);
  EXPECT_EQ(TakeCalls(), (std::vector<std::string>{kListCall, kReportCall}));

  ProgramRun update = RunTool({"-u", "report.xml"});
  EXPECT_EQ(update.exit_code, 2);
  EXPECT_EQ(update.output, Native(Banner() + kComplete));
  EXPECT_EQ(TakeCalls(), std::vector<std::string>{kUpdateCall});

  ProgramRun check = RunTool({"-n"});
  EXPECT_EQ(check.exit_code, 5);  // both adapters now carry the package version
  EXPECT_EQ(check.output, Native(Banner() + "Found P3P Q4T MAC: 02-5E-ED-AA-00-05 (v4.0.534)\n"
                                            "Found P3P Q4T MAC: 02-5E-ED-AA-00-06 (v4.0.534)\n"
                                            "\nNIC firmware update is not recommended.\n"));
}

}  // namespace
