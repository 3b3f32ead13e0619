// The simulated flash tool: accepts the four command lines of the flash tool,
// records every call, and lists, reports and flashes the adapters of a
// scenario file. The scenario format and the tool's own exit codes are in
// tools/README.md.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/command_text.h"
#include "platform/os.h"
#include "tools/crash.h"
#include "tools/nic_list_writer.h"
#include "tools/scenario.h"
#include "xml/xml.h"

namespace zadiroz {
namespace {

constexpr int kUsageError = 1;
constexpr int kScenarioError = 2;
constexpr int kNoAdapterAtLocation = 3;
constexpr int kImageMissing = 4;
constexpr int kReportUnreadable = 5;
constexpr int kCannotWrite = 6;

constexpr char kNicListFile[] = "tempNicList.xml";

enum class Kind { kList, kReport, kUpdate, kFlash };

// One accepted command line. An empty firmware name leaves a gap in the
// utility's command text that the argument splitting closes, so each form is
// also accepted without it.
struct Call {
  Kind kind = Kind::kList;
  std::string firmware;
  std::string output;  // -d: the file to write; -u: the NIC list to write
  std::string report;  // -u
  std::string location;  // -i
};

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ParseCall(const std::vector<std::string>& args, Call* call) {
  const size_t n = args.size();
  if (n < 2 || args[0] != "-flashsupport") return false;
  const std::string& op = args[1];
  if (op == "-d" && (n == 5 || n == 4) && args[n - 1] == "-p3") {
    if (n == 5) call->firmware = args[2];
    call->output = args[n - 2];
    call->kind = BaseName(call->output) == kNicListFile ? Kind::kList : Kind::kReport;
    return true;
  }
  if (op == "-u" && (n == 6 || n == 5) && args[n - 1] == "-p3") {
    if (n == 6) call->firmware = args[2];
    call->report = args[n - 3];
    call->output = args[n - 2];
    call->kind = Kind::kUpdate;
    return true;
  }
  if (op == "-i" && (n == 5 || n == 4) && args[3] == "-a") {
    call->location = args[2];
    if (n == 5) call->firmware = args[4];
    call->kind = Kind::kFlash;
    return true;
  }
  return false;
}

// The vendor's tools hold "rozado_lock_file" in the temporary directory for
// the whole of every call and remove it when they exit; a call that ends by a
// signal (or the Windows counterpart) never gets there and leaves it behind,
// as an interrupted session does. Static, so that std::exit removes it.
class ToolLock {
 public:
  void Take() {
    std::string temp;
    if (!os::TempDirectory(&temp)) return;
    path_ = temp + os::PathSeparator() + "rozado_lock_file";
    file_ = std::fopen(path_.c_str(), "w");
  }
  ~ToolLock() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(path_.c_str());
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

ToolLock tool_lock;

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : std::string(fallback);
}

void RecordCall(const std::vector<std::string>& args) {
  std::string line;
  // Quoted as the utility quotes them: an argument with a blank shows as one.
  for (size_t i = 0; i < args.size(); ++i) line += (i ? " " : "") + QuoteArgument(args[i]);
  line += "\n";
  std::ofstream out(EnvOr("ZADIROZ_CALLS", "zadiroz-calls.txt"),
                    std::ios::binary | std::ios::app);
  out << line;
}

bool FileExists(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string StatePath() { return EnvOr("ZADIROZ_STATE", "zadiroz-state.txt"); }

FlashState LoadState() {
  FlashState state;
  std::ifstream in(StatePath(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.find('=');
    if (equals != std::string::npos) state[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return state;
}

void SaveState(const FlashState& state) {
  std::string text;
  for (const auto& entry : state) text += entry.first + "=" + entry.second + "\n";
  WriteFile(StatePath(), text);
}

void Say(const std::string& text) {
  // Deliberately on both channels: the utility must keep both off its console.
  std::fputs(("zadiroz: " + text + "\n").c_str(), stdout);
  std::fputs(("zadiroz: " + text + "\n").c_str(), stderr);
  std::fflush(nullptr);
}

// Writes the operation's output file as the fault says; false when it cannot
// be written.
bool WriteOutput(const OperationSpec& op, const std::string& path, const std::string& nic_list) {
  if (op.fault == Fault::kNoFile) {
    Say("no file written");
    return true;
  }
  const std::string& body = op.fault == Fault::kBody ? op.body : nic_list;
  if (WriteFile(path, body)) return true;
  Say("cannot write " + path);
  return false;
}

[[noreturn]] void Finish(const OperationSpec& op, uint32_t exit_code) {
  std::fflush(nullptr);
  if (op.signal != 0) DieBySignal(op.signal);
  std::exit(static_cast<int>(exit_code));
}

// The locations of the devices listed in a report; false when it cannot be read.
bool ReportLocations(const std::string& path, std::vector<std::string>* locations) {
  XmlParseResult result = {kXmlSuccess, 0, 0};
  XmlElement root = parseXmlFile(path.c_str(), "kx_rom_discovery", &result);
  if (result.code != kXmlSuccess || root.isNull()) return false;
  auto value = [](const XmlElement& device, const char* name) {
    for (int32_t i = 0; i < childCount(device); ++i) {
      XmlElement child = childAt(device, i);
      const char* child_name = elementName(child);
      if (child_name && std::string(child_name) == name) {
        const char* text = attributeValue(child, "value", nullptr);
        return std::string(text ? text : "");
      }
    }
    return std::string();
  };
  for (int32_t i = 0; i < childCount(root); ++i) {
    XmlElement devices = childAt(root, i);
    if (!elementName(devices) || std::string(elementName(devices)) != "devices") continue;
    for (int32_t j = 0; j < childCount(devices); ++j) {
      XmlElement device = childAt(devices, j);
      if (!elementName(device) || std::string(elementName(device)) != "device") continue;
      locations->push_back(value(device, "busnumber") + ":" + value(device, "devicenumber") +
                           "." + value(device, "funcnumber"));
    }
  }
  return true;
}

const AdapterSpec* AdapterAt(const Scenario& scenario, const std::string& location) {
  for (const AdapterSpec& adapter : scenario.adapters) {
    if (adapter.Location() == location) return &adapter;
  }
  return nullptr;
}

int Run(const Call& call, const Scenario& scenario, bool has_scenario) {
  FlashState state = LoadState();
  OperationSpec op;
  switch (call.kind) {
    case Kind::kList:
      op = scenario.Find("list", "discover", "");
      break;
    case Kind::kReport:
      op = scenario.Find("report", "discover", "");
      break;
    case Kind::kUpdate:
      op = scenario.Find("update", "", "");
      break;
    case Kind::kFlash:
      op = scenario.Find("flash", "", call.location);
      break;
  }
  if (op.sleep_ms) std::this_thread::sleep_for(std::chrono::milliseconds(op.sleep_ms));
  if (scenario.require_image && !FileExists(call.firmware)) {
    Say("firmware image " + call.firmware + " not found");
    return kImageMissing;
  }

  if (call.kind == Kind::kList || call.kind == Kind::kReport) {
    Say("listing " + std::to_string(scenario.adapters.size()) + " adapters into " + call.output);
    if (!WriteOutput(op, call.output, RenderNicList(scenario, state))) return kCannotWrite;
    Finish(op, op.exit_code);
  }

  if (call.kind == Kind::kFlash) {
    if (has_scenario && !AdapterAt(scenario, call.location)) {
      Say("no adapter at " + call.location);
      return kNoAdapterAtLocation;
    }
    Say("flashing " + call.location + " with " + call.firmware);
    if (op.exit_code == 0 && op.signal == 0 && scenario.has_flash_version && has_scenario) {
      state[call.location] = scenario.flash_version;
      SaveState(state);
    }
    Finish(op, op.exit_code);
  }

  // -u: flash every scenario adapter that the report lists.
  std::vector<std::string> locations;
  if (!ReportLocations(call.report, &locations)) {
    Say("cannot read report " + call.report);
    return kReportUnreadable;
  }
  uint32_t first_failure = 0;
  FlashState flashed;
  for (const std::string& location : locations) {
    if (!AdapterAt(scenario, location)) continue;
    OperationSpec flash = scenario.Find("flash", "", location);
    if (flash.sleep_ms) std::this_thread::sleep_for(std::chrono::milliseconds(flash.sleep_ms));
    Say("flashing " + location + " with " + call.firmware);
    if (flash.exit_code != 0) {
      if (first_failure == 0) first_failure = flash.exit_code;
    } else if (scenario.has_flash_version) {
      flashed[location] = scenario.flash_version;
    }
  }
  const uint32_t exit_code = op.has_exit ? op.exit_code : first_failure;
  if (exit_code == 0 && op.signal == 0 && !flashed.empty()) {
    for (const auto& entry : flashed) state[entry.first] = entry.second;
    SaveState(state);
  }
  if (!WriteOutput(op, call.output, RenderNicList(scenario, state))) return kCannotWrite;
  Finish(op, exit_code);
}

}  // namespace
}  // namespace zadiroz

int main(int argc, char** argv) {
  using namespace zadiroz;
  tool_lock.Take();
  std::vector<std::string> args(argv + 1, argv + argc);
  RecordCall(args);
  Call call;
  if (!ParseCall(args, &call)) {
    Say("unknown command line");
    return kUsageError;
  }
  Scenario scenario;
  const std::string scenario_path = EnvOr("ZADIROZ_SCENARIO", "");
  const bool has_scenario = !scenario_path.empty();
  if (has_scenario) {
    std::string error;
    if (!LoadScenario(scenario_path, &scenario, &error)) {
      Say(error);
      return kScenarioError;
    }
  }
  return Run(call, scenario, has_scenario);
}
