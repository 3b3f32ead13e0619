// Tests of the simulated flash tool: its scenario reader and NIC list writer
// directly, and the built program through its command lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tools/nic_list_writer.h"
#include "tools/scenario.h"

namespace {

using zadiroz::Scenario;

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeScratchDirectory("tool"); }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  bool Load(const std::string& text, Scenario* scenario, std::string* error) {
    const std::string path = JoinPath(dir_, "scenario.xml");
    WriteFileBytes(path, text);
    return zadiroz::LoadScenario(path, scenario, error);
  }

  // Runs the built tool in the scratch directory with a scenario (none when
  // empty); the calls and state files stay in that directory.
  ProgramRun RunTool(const std::vector<std::string>& args, const std::string& scenario) {
    ProgramOptions options;
    options.working_directory = dir_;
    options.close_input = true;
    if (!scenario.empty()) {
      WriteFileBytes(JoinPath(dir_, "scenario.xml"), scenario);
      options.environment["ZADIROZ_SCENARIO"] = "scenario.xml";  // relative to the current directory
    }
    return RunProgramAndWait(KX_TOOL_FILE, args, options);
  }

  std::string File(const std::string& name) const { return ReadFileBytes(JoinPath(dir_, name)); }

  std::string dir_;
};

}  // namespace

TEST_F(ToolTest, HexBodies) {
  struct Case {
    const char* text;
    bool ok;
    std::string bytes;
  } cases[] = {
      {"", true, ""},
      {"FF FE 3c 00", true, std::string("\xFF\xFE\x3C\x00", 4)},
      {"0a\n0D", true, "\n\r"},
      {"ABC", false, ""},
      {"0x41", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string bytes;
    EXPECT_EQ(zadiroz::DecodeHex(c.text, &bytes), c.ok);
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes);
    }
  }
}

TEST_F(ToolTest, ScenarioMistakesAreRejected) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"<other/>", "cannot load scenario"},
      {"<zadiroz_scenario><adapter venid=\"1\" vendor=\"2\"/></zadiroz_scenario>",
       "adapter: unknown attribute 'vendor'"},
      {"<zadiroz_scenario><adapter bare=\"colour\"/></zadiroz_scenario>",
       "adapter: bare names an unknown field 'colour'"},
      {"<zadiroz_scenario><operation name=\"erase\"/></zadiroz_scenario>",
       "operation: unknown name 'erase'"},
      {"<zadiroz_scenario><operation name=\"list\" exit=\"-1\"/></zadiroz_scenario>",
       "operation: bad exit '-1'"},
      {"<zadiroz_scenario><operation name=\"list\" fault=\"crash\"/></zadiroz_scenario>",
       "operation: unknown fault 'crash'"},
      {"<zadiroz_scenario><nic_list type_position=\"middle\"/></zadiroz_scenario>",
       "nic_list: unknown type_position 'middle'"},
      {"<zadiroz_scenario><adapters/></zadiroz_scenario>", "unknown element 'adapters'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(Load(c.text, &scenario, &error));
    EXPECT_EQ(error.find(c.error), 0u) << error;
  }
}

TEST_F(ToolTest, NicListWritesValuesAsGiven) {
  Scenario scenario;
  std::string error;
  ASSERT_TRUE(Load(R"(<zadiroz_scenario>
      <nic_list root_version="2" type="ROZADO_NIC" type_position="last" takes_effect="now"/>
      <adapter device_id=" a&amp;b " venid="zz" busnumber="1" devicenumber="0" funcnumber="0"
               firmware_id="1.0.0" version="1.0.0" shared="no" bare="devid message"/>
      <adapter busnumber="2" omit="fw_type" duration="x&quot;"/>
      <adapter busnumber="3" fw_type="RAM" omit="fw_item"/>
    </zadiroz_scenario>)",
                   &scenario, &error))
      << error;
  // 1:0.0 was flashed; 2:. was not (its version stays absent).
  zadiroz::FlashState state = {{"1:0.0", "4.0.534"}, {"2:.", "9.9.9"}};
  EXPECT_EQ(zadiroz::RenderNicList(scenario, state),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<kx_rom_discovery version=\"2\">\n"
            "  <takes_effect value=\"now\"/>\n"
            "  <devices>\n"
            "    <device>\n"
            "      <device_id value=\" a&amp;b \"/>\n"
            "      <venid value=\"zz\"/>\n"
            "      <devid/>\n"
            "      <busnumber value=\"1\"/>\n"
            "      <devicenumber value=\"0\"/>\n"
            "      <funcnumber value=\"0\"/>\n"
            "      <fw_item>\n"
            "        <type value=\"ROM\"/>\n"
            "        <firmware_id value=\"4.0.534\"/>\n"
            "        <version value=\"4.0.534\"/>\n"
            "        <shared value=\"no\"/>\n"
            "        <message/>\n"
            "      </fw_item>\n"
            "    </device>\n"
            "    <device>\n"
            "      <busnumber value=\"2\"/>\n"
            "      <fw_item>\n"
            "        <firmware_id value=\"9.9.9\"/>\n"
            "        <duration value=\"x&quot;\"/>\n"
            "      </fw_item>\n"
            "    </device>\n"
            "    <device>\n"
            "      <busnumber value=\"3\"/>\n"
            "    </device>\n"
            "  </devices>\n"
            "  <type value=\"ROZADO_NIC\"/>\n"
            "</kx_rom_discovery>\n");
}

TEST_F(ToolTest, WithoutScenarioNothingIsListedAndAllSucceeds) {
  ProgramRun list = RunTool({"-flashsupport", "-d", "fw.bin", "tempNicList.xml", "-p3"}, "");
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_EQ(File("tempNicList.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kx_rom_discovery version=\"1.0\">\n"
            "  <type value=\"REDEVI_NIC\"/>\n  <devices>\n  </devices>\n</kx_rom_discovery>\n");
  EXPECT_EQ(RunTool({"-flashsupport", "-i", "5:0.0", "-a", "fw.bin"}, "").exit_code, 0);
  EXPECT_EQ(RunTool({"-flashsupport", "-x"}, "").exit_code, 1);
  // Every call is recorded, the rejected one too, with "\n" on every platform.
  EXPECT_EQ(File("zadiroz-calls.txt"),
            "-flashsupport -d fw.bin tempNicList.xml -p3\n"
            "-flashsupport -i 5:0.0 -a fw.bin\n"
            "-flashsupport -x\n");
}

TEST_F(ToolTest, FlashingChangesWhatIsListedLater) {
  const std::string scenario = R"(<zadiroz_scenario flash_version="4.0.534">
      <adapter busnumber="1" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>
      <adapter busnumber="2" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>
      <adapter busnumber="3" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>
      <operation name="flash" location="2:0.0" exit="9"/>
      <operation name="report" fault="no_file"/>
    </zadiroz_scenario>)";
  struct Step {
    std::vector<std::string> args;
    int exit_code;
    const char* state;  // the state file afterwards
  } steps[] = {
      {{"-flashsupport", "-i", "2:0.0", "-a", "fw.bin"}, 9, ""},
      {{"-flashsupport", "-i", "7:0.0", "-a", "fw.bin"}, 3, ""},
      {{"-flashsupport", "-i", "1:0.0", "-a", "fw.bin"}, 0, "1:0.0=4.0.534\n"},
      // The report lists all three; 2:0.0 fails, so the whole update fails and
      // nothing more is recorded.
      {{"-flashsupport", "-d", "fw.bin", "report.xml", "-p3"}, 0, "1:0.0=4.0.534\n"},
      {{"-flashsupport", "-u", "fw.bin", "all.xml", "tempNicList.xml", "-p3"}, 9,
       "1:0.0=4.0.534\n"},
      {{"-flashsupport", "-u", "fw.bin", "missing.xml", "tempNicList.xml", "-p3"}, 5,
       "1:0.0=4.0.534\n"},
      {{"-flashsupport", "-u", "fw.bin", "three.xml", "tempNicList.xml", "-p3"}, 0,
       "1:0.0=4.0.534\n3:0.0=4.0.534\n"},
  };
  // Reports written by hand: every adapter, and only 3:0.0.
  auto report = [](const std::vector<std::string>& buses) {
    std::string text = "<kx_rom_discovery><devices>";
    for (const std::string& bus : buses) {
      text += "<device><busnumber value=\"" + bus +
              "\"/><devicenumber value=\"0\"/><funcnumber value=\"0\"/></device>";
    }
    return text + "</devices></kx_rom_discovery>";
  };
  WriteFileBytes(JoinPath(dir_, "all.xml"), report({"1", "2", "3"}));
  WriteFileBytes(JoinPath(dir_, "three.xml"), report({"3"}));
  for (const Step& step : steps) {
    SCOPED_TRACE(step.args[1] + " " + step.args[2] + " " + step.args[3]);
    ProgramRun run = RunTool(step.args, scenario);
    EXPECT_EQ(run.exit_code, step.exit_code);
    EXPECT_EQ(File("zadiroz-state.txt"), step.state);
  }
  EXPECT_FALSE(std::filesystem::exists(JoinPath(dir_, "report.xml")));
  const std::string list = File("tempNicList.xml");  // written by the last update
  EXPECT_NE(list.find("<busnumber value=\"3\"/>\n      <devicenumber value=\"0\"/>\n"
                      "      <funcnumber value=\"0\"/>\n      <fw_item>\n"
                      "        <type value=\"ROM\"/>\n        <firmware_id value=\"4.0.534\"/>"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("<busnumber value=\"2\"/>\n      <devicenumber value=\"0\"/>\n"
                      "      <funcnumber value=\"0\"/>\n      <fw_item>\n"
                      "        <type value=\"ROM\"/>\n        <firmware_id value=\"4.0.520\"/>"),
            std::string::npos)
      << list;
}

TEST_F(ToolTest, FaultsAndChecks) {
  const bool windows = std::string(NativeNewline()) == "\r\n";
  struct Case {
    const char* name;
    std::string scenario;
    std::vector<std::string> args;
    int exit_code;
    bool file_written;
    std::string body;  // checked when not empty
  } cases[] = {
      {"unreadable scenario", "<zadiroz_scenario>", {"-flashsupport", "-d", "f", "out.xml", "-p3"},
       2, false, ""},
      {"image required and missing", R"(<zadiroz_scenario require_image="yes"/>)",
       {"-flashsupport", "-d", "nofw.bin", "out.xml", "-p3"}, 4, false, ""},
      {"image name dropped by the blank splitting", "<zadiroz_scenario/>",
       {"-flashsupport", "-d", "out.xml", "-p3"}, 0, true, ""},
      {"report wins over discover; body from CDATA",
       R"(<zadiroz_scenario><operation name="discover" exit="6"><![CDATA[<x> & </y>]]></operation><operation name="report" fault="body"><![CDATA[ <x> & </y> ]]></operation></zadiroz_scenario>)",
       {"-flashsupport", "-d", "f", "out.xml", "-p3"}, 0, true, " <x> & </y> "},
      {"body from a file next to the scenario",
       R"(<zadiroz_scenario><operation name="report" fault="body" body_file="all.xml" exit="250"/></zadiroz_scenario>)",
       {"-flashsupport", "-d", "f", "out.xml", "-p3"}, 250, true, "copied\r\n"},
      {"killed", R"(<zadiroz_scenario><operation name="report" signal="15"/></zadiroz_scenario>)",
       {"-flashsupport", "-d", "f", "out.xml", "-p3"}, windows ? static_cast<int>(0xC000013Au) : 143,
       true, ""},
  };
  WriteFileBytes(JoinPath(dir_, "all.xml"), "copied\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(JoinPath(dir_, "out.xml"));
    ProgramRun run = RunTool(c.args, c.scenario);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(std::filesystem::exists(JoinPath(dir_, "out.xml")), c.file_written);
    if (!c.body.empty()) {
      EXPECT_EQ(File("out.xml"), c.body);
    }
  }
}
