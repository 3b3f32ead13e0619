// One table of faults and bad inputs, each row run end to end: the real
// executable (with the simulated flash tool beside it, or without it), checked
// for its exit code, its console, its log, the calls the tool received and the
// files afterwards: the package files unchanged, no NIC list left behind, and
// the log only appended to.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/e2e_helpers.h"
#include "tests/support/package_fixture.h"

namespace {

namespace fs = std::filesystem;

bool IsWindowsBuild() { return std::string(NativeNewline()) == "\r\n"; }

// Adapters of the large rows: enough to find quadratic work, few enough for
// Wine's slower process start and file access.
int ManyAdapters() { return IsWindowsBuild() ? 1000 : 100000; }

constexpr char kListCall[] = "-flashsupport -d p3p_rom.bin tempNicList.xml -p3";
constexpr char kListCommand[] = "zadiroz -flashsupport -d p3p_rom.bin tempNicList.xml -p3";
constexpr char kStarted[] = "Started device discovery!";
constexpr char kDiscovered[] = "Device discovery completed successfully!";
constexpr char kNoListFile[] = "Could not generate discovery file.";
constexpr char kNoImage[] = "Warning: Could not find firmware file !";
constexpr char kRozado[] = "This ZENT tool can only be used to update P3P-series REdevi NICs.";
constexpr char kLockNotCleared[] =
    "Error: last session did not close gracefully.  Unable to clear lock.";
constexpr char kToolRunning[] =
    "Error: Either another RozAdo tool is already running, or your last session did not close "
    "gracefully. Required to clear the settings!";
constexpr char kNoRunLock[] = "VerifyInstance: Unable to take the run lock: ";
constexpr char kOpenReportFolder[] =
    "Error: The report path <scratch>/open/r.xml is refused: other accounts can change the "
    "folder <scratch>/open.\n";
std::string Chomp(const std::string& line) { return line.substr(0, line.size() - 1); }
constexpr char kInputProblem[] = "Unknown input problem!\nQuit...\n";
constexpr char kPackageMissing[] = "Supporting file ZOVOREruz.xml is missing. Cannot proceed.\n";
constexpr char kP3PQ4T[] = R"(venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D")";

std::string Failed(const std::string& code) {
  return "Device discovery failed with error code " + code;
}
// The failed load as logged: the code, then the same in words.
std::string Loading(const std::string& file, const std::string& code, const std::string& words) {
  return "Loading configuration file " + file + " failed. Error code: " + code + ".\n" + file +
         ": " + words + ".";
}
std::string FlashCall(const std::string& bus) {
  return "-flashsupport -i " + bus + ":0.0 -a p3p_rom.bin";
}
std::string Mac(const std::string& bus) { return "02-5E-ED-AA-00-0" + bus; }

// A supported P3P Q4T at bus:0.0; `extra` adds or overrides attributes.
std::string Adapter(const std::string& bus, const std::string& extra = "") {
  return "<adapter device_id=\"NIC " + bus + "\" " + kP3PQ4T + " macaddress=\"" + Mac(bus) +
         "\" product_id=\"P3P Q4T\" busnumber=\"" + bus +
         "\" devicenumber=\"0\" funcnumber=\"0\" firmware_id=\"4.0.520\" " + extra + "/>\n";
}
const std::string kOne = Adapter("5");
const std::string kTwo = Adapter("5") + Adapter("6");

// The console of an adapter flashed without asking (-y).
std::string FlashedQuietly(const std::string& bus) {
  return "Found P3P Q4T MAC: " + Mac(bus) + " (v4.0.520)\n" + kWaiting +
         "Selecting P3P Q4T MAC: " + Mac(bus) + " \n" + "MAC " + Mac(bus) + " upgrade SUCCESS!\n" +
         kComplete;
}
// The log of a run that discovers and flashes the adapter at 5:0.0 that way,
// with `warnings` between the list command and the end of discovery.
std::vector<std::string> FlashedQuietlyLog(const std::vector<std::string>& warnings = {}) {
  const std::string bus = "5";
  std::vector<std::string> lines = {"Started device discovery!", kListCommand};
  lines.insert(lines.end(), warnings.begin(), warnings.end());
  lines.insert(
      lines.end(),
      {"Device discovery completed successfully!", "Found P3P Q4T MAC: " + Mac(bus) + " (v4.0.520)",
       "The Firmware upgrade will take several minutes. Please be patient.",
       "Selecting P3P Q4T MAC: " + Mac(bus) + " ", "zadiroz " + FlashCall(bus),
       "MAC " + Mac(bus) + " upgrade SUCCESS!", "", "NIC firmware update complete."});
  return lines;
}
std::string Question(const std::string& bus) {
  return "Found P3P Q4T MAC: " + Mac(bus) + " (v4.0.520)\nUpdate firmware on 'NIC " + bus + "' (" +
         bus + ":0.0) : \nFrom ROM 4.0.520 to 4.0.534?  y/n/q/c (y):";
}

// A NIC list with the adapter of Adapter("5"), as UTF-16 LE with FF FE, in hex.
std::string Utf16ListHex() {
  const std::string list =
      "<?xml version=\"1.0\" encoding=\"utf-16\"?>\n"
      "<kx_rom_discovery><type value=\"REDEVI_NIC\"/><devices><device>"
      "<device_id value=\"NIC 5\"/><venid value=\"3F1D\"/><devid value=\"0C4A\"/>"
      "<subvenid value=\"6B2E\"/><subdevid value=\"2A7D\"/><macaddress value=\"" +
      Mac("5") +
      "\"/><product_id value=\"P3P Q4T\"/><busnumber value=\"5\"/><devicenumber value=\"0\"/>"
      "<funcnumber value=\"0\"/><fw_item><type value=\"ROM\"/>"
      "<firmware_id value=\"4.0.520\"/></fw_item></device></devices></kx_rom_discovery>";
  return Utf16Hex(list);
}

// Adapter i of the large rows, and what the console shows for it.
std::string ManyAdapter(int i) {
  const std::string n = std::to_string(i);
  return "<adapter device_id=\"NIC " + n + "\" " + kP3PQ4T + " macaddress=\"MAC-" + n +
         "\" product_id=\"P3P Q4T\" busnumber=\"" + n +
         "\" devicenumber=\"0\" funcnumber=\"0\" firmware_id=\"4.0.520\"/>";
}
std::string ShownBlock(int i) {
  const std::string n = std::to_string(i);
  return "MAC                  B:D.F     PCI-ID                  NIC\n"
         "MAC-" +
         n + "    " + n +
         ":0.0     3F1D-0C4A-6B2E-2A7D     P3P Q4T\n"
         "\n"
         "   (Installed)            (Available)     Interface     \n"
         "Image     Version      Image     Version   \n"
         "--------------------------------------------------------\n"
         "ROM       4.0.520      ROM       4.0.534  NIC " +
         n + "\n";
}
std::string FoundLine(int i) {
  std::string mac = "MAC-" + std::to_string(i);
  mac.resize(std::max<size_t>(mac.size(), 17), ' ');
  return "Found P3P Q4T MAC: " + mac + " (v4.0.520)\n";
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool CanCreateFileIn(const std::string& dir) {
  const std::string probe = JoinPath(dir, "probe");
  const bool created = WriteFileBytes(probe, "x");
  std::error_code ignored;
  fs::remove(probe, ignored);
  return created;
}

enum class Only { kAny, kPosix, kWindows };

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ADDRESS_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KX_ADDRESS_SANITIZED)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// How far the run gets, which decides the shape of its log.
enum class Reach {
  kMode,     // a mode runs: start lines, `log`, end stamp and exit code
  kStartUp,  // refused at start-up: the log is exactly `log`
  kNoLog,    // the log cannot be written: it stays as it was
  kEnded,    // ended from outside: the log stops after `log`
};

class FaultMatrixTest;

struct Row {
  const char* name;
  Only only;
  std::vector<std::string> args;
  std::string scenario;  // inside <zadiroz_scenario>
  // Extra set-up; gives the reason when the row cannot be arranged here.
  std::string (*arrange)(FaultMatrixTest&);
  int code;
  bool banner;          // the console starts with the banner
  std::string console;  // after the banner
  Reach reach;
  std::vector<std::string> log;  // log lines of the mode (or of start-up)
  std::vector<std::string> calls;
  // Large rows: the console holds one `item` per adapter, checked by count,
  // first and last; `console` is then the text after the last item.
  std::string (*item)(int) = nullptr;
  std::string input = "";
  bool close_input = true;
  // Sent to the program once the tool has recorded the call `during` (nothing
  // when empty); `state` is then the tool's state file afterwards.
  std::string during = "";
  Interrupt interrupt = Interrupt::kKeyboard;
  std::vector<std::string> state = {};
};

void PrintTo(const Row& row, std::ostream* out) { PrintCaseName(row, out); }

// Each row is a test of its own, named after the row, in a fresh scratch
// package.
class FaultMatrixTest : public PackageFixture, public ::testing::WithParamInterface<Row> {
 public:
  // What the arrange steps of the rows use.
  void WriteScenario(const std::string& body, bool strict_tool) {
    ASSERT_TRUE(
        WriteFileBytes(scenario_path_, std::string("<?xml version=\"1.0\"?>\n"
                                                   "<zadiroz_scenario flash_version=\"4.0.534\"") +
                                           (strict_tool ? " require_image=\"yes\"" : "") + ">\n" +
                                           body + "</zadiroz_scenario>\n"));
  }
  void WriteBeside(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(JoinPath(scratch_, name), bytes));
  }
  void WritePackageConfig(const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(PackagePath("ZOVOREruz.xml"), text));
  }
  void RemovePackageFile(const std::string& name) { fs::remove(PackagePath(name)); }
  void MakePackageDirectory(const std::string& name) { fs::create_directories(PackagePath(name)); }
  // A copy of the program in a directory of its own, without the flash tool.
  void RunProgramAlone() {
    const fs::path alone = fs::path(scratch_) / "alone";
    fs::create_directories(alone);
    const fs::path copy = alone / fs::path(KX_PROGRAM_FILE).filename();
    fs::copy_file(KX_PROGRAM_FILE, copy);
    program_ = copy.string();
  }
  // The log's path is taken by a directory; the real log is kept aside.
  void MakeLogPathADirectory() {
    if (fs::exists(log_path_)) {
      saved_log_ = log_path_ + ".fault-matrix";
      fs::rename(log_path_, saved_log_);
    } else {
      saved_log_ = log_path_ + ".none";  // EndRow removes the directory
    }
    ASSERT_TRUE(fs::create_directories(log_path_));
  }
  // A directory that the program cannot write; false when this user can
  // write it anyway (root).
  bool MakeReadOnlyDirectory(const std::string& dir) {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    readonly_ = dir;
    return !CanCreateFileIn(dir);
  }
  std::string Scratch() const { return scratch_; }
  std::string LogPath() const { return log_path_; }
  // A file or folder outside the log path that a planted link points at: it
  // must be the same after the run.
  void Watch(const std::string& path) { watched_ = path; }
  // The log folders as the program makes them, before the run.
  void MakeLogFolders() {
    fs::create_directories(LogDirectory());
    fs::permissions(LogDirectory(), fs::perms(0755));
    fs::permissions(fs::path(LogDirectory()).parent_path(), fs::perms(0755));
  }
  bool MakeLock() { return WriteFileBytes(LockPath(), "locked"); }
  void ExpectLockAfter(bool present) { expect_lock_ = present ? 1 : 0; }
  // Log lines of the instance check, after its first line.
  void ExpectAtStartUp(const std::string& lines) { startup_lines_ = lines; }
  // Runs the program as an unprivileged user (POSIX, when the tests run as
  // root), with the scratch folders handed to that user; else why not.
  std::string RunUnprivileged() {
    if (!CanRunAsAnotherUser()) {
      return "not root, or the build is out of other users' reach (as non-root, the other rows "
             "run unprivileged)";
    }
    run_as_ = kUnprivilegedUser;
    for (const auto& entry : fs::recursive_directory_iterator(scratch_)) {
      GiveToUser(entry.path().string(), run_as_);
    }
    GiveToUser(scratch_, run_as_);
    return "";
  }
  bool HoldLockOpen() {
    hold_ = std::make_unique<ExclusiveFileHold>(LockPath());
    return hold_->held();
  }
  // Makes `path` another account's, as if that account had made it; else why
  // not (only root can).
  std::string GiveToAnotherAccount(const std::string& path) {
    if (!CanRunAsAnotherUser()) return "only root can make files of another account";
    GiveToUser(path, kUnprivilegedUser);
    return "";
  }
  std::vector<std::string> Filled(std::vector<std::string> texts) const {
    for (std::string& text : texts) text = Fill(text);
    return texts;
  }
  // The program starts through `words` (a program and its first arguments).
  void RunThrough(const std::vector<std::string>& words) { wrapper_ = words; }
  // The expected texts name "<scratch>" and "<drive>" for this row's folders.
  std::string Fill(std::string text) const {
    for (const auto& [name, path] : {std::pair<std::string, std::string>("<scratch>", scratch_),
                                     {"<drive>", JoinPath(scratch_, "drive")}}) {
      for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
        text.replace(at, name.size(), path);
        at += path.size();
      }
    }
    return text;
  }

  std::string ProgramTemp() const { return temp_; }
  using PackageFixture::LockPath;
  std::string LogDirectory() const { return fs::path(log_path_).parent_path().string(); }

 protected:
  void SetUp() override { StartRow(); }

  void StartRow() {
    PackageFixture::SetUp();
    CopyExample("p3p_rom.bin");
    program_ = KX_PROGRAM_FILE;
    scenario_path_ = JoinPath(scratch_, "scenario.xml");
    calls_path_ = JoinPath(scratch_, "calls.txt");
  }

  // Puts back what a row changed outside its scratch directory.
  void EndRow() {
    hold_.reset();
    std::error_code ignored;
    if (!readonly_.empty()) fs::permissions(readonly_, fs::perms::owner_all, ignored);
    readonly_.clear();
    if (!scratch_.empty()) {
      fs::permissions(LockPath(), fs::perms::owner_all, ignored);  // a read-only file stays on Windows
      fs::remove(LockPath(), ignored);
    }
    if (!saved_log_.empty()) {
      fs::remove(log_path_, ignored);
      fs::rename(saved_log_, log_path_, ignored);
    }
    saved_log_.clear();
  }

  void TearDown() override { EndRow(); }

  void RunAndCheck(const Row& row, std::string* skipped);

  ProgramRun RunRow(const Row& row) {
    ProgramOptions options;
    options.working_directory = package_;
    options.environment = ScratchEnvironment(scratch_);
    const auto tool = ToolEnvironment(scenario_path_, calls_path_, JoinPath(scratch_, "state.txt"));
    options.environment.insert(tool.begin(), tool.end());
    options.input = row.input;
    options.close_input = row.close_input;
    options.user_id = run_as_;
    if (!row.during.empty()) {
      options.while_running = [this, &row](int process_id) {
        for (int i = 0; i < 3000; ++i) {
          const std::vector<std::string> calls = Calls();
          if (std::find(calls.begin(), calls.end(), row.during) != calls.end()) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(SendInterrupt(process_id, row.interrupt));
      };
    }
    std::vector<std::string> args = Filled(row.args);
    if (wrapper_.empty()) return RunProgramAndWait(program_, args, options);
    std::vector<std::string> words(wrapper_.begin() + 1, wrapper_.end());
    words.push_back(program_);
    words.insert(words.end(), args.begin(), args.end());
    return RunProgramAndWait(wrapper_[0], words, options);
  }

  std::vector<std::string> Calls() const { return ReadLines(calls_path_); }
  std::vector<std::string> PackageFiles() const { return DirectoryNames(package_); }

  // The log of a run that reaches its mode, up to and after the mode's lines.
  std::string LogStart(const Row& row) const {
    std::string echo = "Command line supplied:\n\t" + ProgramPathAsSeen(program_) + " ";
    for (const std::string& arg : row.args) echo += Fill(arg) + " ";
    return Native(kChecking + startup_lines_ + Banner() + echo + "\nUpgrade began: <date>\n\n");
  }
  static std::string LogEnd(int code) {
    return Native("Upgrade completed: <date>\n\nExiting with code " + std::to_string(code) + "\n");
  }
  std::string Lines(const std::vector<std::string>& lines) const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return Native(Fill(text));
  }

  std::string program_;
  std::string scenario_path_;
  std::string calls_path_;
  std::string saved_log_;
  std::string readonly_;
  std::string watched_;
  int expect_lock_ = -1;  // 1: the lock is there after the run, 0: gone, -1: not checked
  int run_as_ = -1;
  std::vector<std::string> wrapper_;
  std::string startup_lines_;
  std::unique_ptr<ExclusiveFileHold> hold_;

 private:
  // A file's bytes, or a folder's entries with the bytes of each.
  static std::string Snapshot(const std::string& path) {
    if (path.empty() || !fs::is_directory(path)) return ReadFileBytes(path);
    std::string all;
    for (const std::string& name : DirectoryNames(path)) {
      all += name + "=" + ReadFileBytes(JoinPath(path, name)) + "\n";
    }
    return all;
  }
};

// Arrange steps of the rows: empty when done, else why the row cannot run here.
std::string ProgramAlone(FaultMatrixTest& t) {
  t.RunProgramAlone();
  return "";
}
std::string TruncatedList(FaultMatrixTest& t) {
  const std::string list =
      "<kx_rom_discovery version=\"1.0\"><type value=\"REDEVI_NIC\"/><devices><device>"
      "<device_id value=\"NIC 5\"/><venid value=\"3F1D\"/><devid value=\"0C4A\"/>"
      "<subvenid value=\"6B2E\"/><subdevid value=\"2A7D\"/><busnumber value=\"5\"/>"
      "</device></devices></kx_rom_discovery>\n";
  t.WriteBeside("truncated.xml", list.substr(0, list.size() / 2));
  return "";
}
std::string DeepList(FaultMatrixTest& t) {
  const size_t levels = 1000000;
  std::string list = "<kx_rom_discovery>";
  list.reserve(levels * 7 + 64);
  for (size_t i = 0; i < levels; ++i) list += "<a>";
  for (size_t i = 0; i < levels; ++i) list += "</a>";
  t.WriteBeside("deep.xml", list + "</kx_rom_discovery>");
  return "";
}
std::string ManyAdaptersScenario(FaultMatrixTest& t) {
  std::string body;
  for (int i = 0; i < ManyAdapters(); ++i) body += ManyAdapter(i);
  t.WriteScenario(body, false);
  return "";
}
std::string PackageMissing(FaultMatrixTest& t) {
  t.RemovePackageFile("ZOVOREruz.xml");
  return "";
}
std::string PackageEmpty(FaultMatrixTest& t) {
  t.WritePackageConfig("");
  return "";
}
std::string PackageMalformed(FaultMatrixTest& t) {
  t.WritePackageConfig("<nic_fw_package><nic>");
  return "";
}
std::string PackageWithoutGroups(FaultMatrixTest& t) {
  t.WritePackageConfig(std::string("<nic_fw_package version=\"1.0\"><nic name=\"P3P Q4T\" ") +
                       kP3PQ4T + " rom=\"4.0.534\" fwFile=\"p3p_rom.bin\"/></nic_fw_package>");
  return "";
}
std::string PackageWithoutImageName(FaultMatrixTest& t) {
  t.WritePackageConfig(std::string("<nic_fw_package version=\"1.0\"><nic name=\"group\">"
                                   "<nic name=\"P3P Q4T\" ") +
                       kP3PQ4T + " rom=\"4.0.534\"/></nic></nic_fw_package>");
  return "";
}
std::string ImageMissing(FaultMatrixTest& t) {
  t.RemovePackageFile("p3p_rom.bin");
  return "";
}
std::string LogPathIsDirectory(FaultMatrixTest& t) {
  t.MakeLogPathADirectory();
  return "";
}
std::string LogDirectoryReadOnly(FaultMatrixTest& t) {
  if (t.MakeReadOnlyDirectory(t.LogDirectory())) return "";
  return "this user writes into read-only directories (root)";
}
std::string LockInReadOnlyTemp(FaultMatrixTest& t) {
  if (!t.MakeLock()) return "the lock file cannot be made";
  if (t.MakeReadOnlyDirectory(t.ProgramTemp())) return "";
  return "this user deletes from read-only directories (root)";
}
std::string LockIsDirectory(FaultMatrixTest& t) {
  t.ExpectLockAfter(true);
  fs::create_directories(t.LockPath());
  return "";
}
std::string LockHeldOpen(FaultMatrixTest& t) {
  t.ExpectLockAfter(true);
  if (t.MakeLock() && t.HoldLockOpen()) return "";
  return "the lock file cannot be held open";
}
// Read-only: the attribute on Windows, no write permission bit on POSIX.
std::string LockReadOnly(FaultMatrixTest& t) {
  t.ExpectLockAfter(true);
  if (!t.MakeLock()) return "the lock file cannot be made";
  fs::permissions(t.LockPath(), fs::perms(0444));
  return "";
}
std::string LockReadOnlyUnprivileged(FaultMatrixTest& t) {
  const std::string why = t.RunUnprivileged();
  return why.empty() ? LockReadOnly(t) : why;
}
// A lock that no one holds is a leftover: cleared, and the run goes on.
std::string LockHeldByNoOne(FaultMatrixTest& t) {
  t.ExpectLockAfter(false);
  t.ExpectAtStartUp("Warning: last session did not close gracefully.  Clearing lock.\n");
  return t.MakeLock() ? "" : "the lock file cannot be made";
}
// Links planted where the log goes, pointing outside the log path.
std::string LogFileIsALink(FaultMatrixTest& t) {
  t.MakeLogFolders();
  const std::string target = JoinPath(t.Scratch(), "precious.txt");
  t.WriteBeside("precious.txt", "someone else's file\n");
  fs::create_symlink(target, t.LogPath());
  t.Watch(target);
  return "";
}
std::string LogFolderIsALink(FaultMatrixTest& t) {
  t.MakeLogFolders();
  const std::string target = JoinPath(t.Scratch(), "elsewhere");
  fs::create_directories(target);
  fs::remove_all(t.LogDirectory());
  fs::create_directory_symlink(target, t.LogDirectory());
  t.Watch(target);
  return "";
}
std::string SystemFolderWritableByOthers(FaultMatrixTest& t) {
  t.MakeLogFolders();
  fs::permissions(fs::path(t.LogDirectory()).parent_path(), fs::perms(0777));
  return "";
}
std::string SoundLogFolders(FaultMatrixTest& t) {
  t.MakeLogFolders();
  return "";
}

// What another account on the server leaves behind. The lock of the flash
// tool, made by another account, whatever it is: none of the tool's (it runs
// as an administrator), so it is cleared and the run goes on.
std::string ForeignLock(FaultMatrixTest& t, void (*make)(FaultMatrixTest&)) {
  t.ExpectLockAfter(false);
  t.ExpectAtStartUp("Warning: last session did not close gracefully.  Clearing lock.\n");
  make(t);
  return t.GiveToAnotherAccount(t.LockPath());
}
std::string ForeignLockReadOnly(FaultMatrixTest& t) {
  return ForeignLock(t, [](FaultMatrixTest& u) {
    u.MakeLock();
    fs::permissions(u.LockPath(), fs::perms(0444));
  });
}
std::string ForeignLockHeldOpen(FaultMatrixTest& t) {
  return ForeignLock(t, [](FaultMatrixTest& u) {
    u.MakeLock();
    u.HoldLockOpen();
  });
}
std::string ForeignLockFolder(FaultMatrixTest& t) {
  return ForeignLock(t, [](FaultMatrixTest& u) { fs::create_directories(u.LockPath()); });
}
// With /proc covered, as in a container or a hardened mount, no flash tool can
// be seen: the lock of one that may be writing stays, and the run does not go on.
std::string ProcessListHidden(FaultMatrixTest& t) {
  if (!CanRunAsAnotherUser()) return "only root can cover /proc";
  // The sanitizers read their options and the leak checker its threads there.
  if (kSanitized) return "a sanitized build cannot run without /proc";
  t.ExpectLockAfter(true);
  t.RunThrough({"/usr/bin/unshare", "--mount", "--propagation", "private", "sh", "-c",
                "mount -t tmpfs none /proc && exec \"$@\"", "sh"});
  return t.MakeLock() ? "" : "the lock file cannot be made";
}
// The old place of the run lock, planted by another account: no longer used.
std::string RunLockPlantedInTemp(FaultMatrixTest& t) {
  const std::string planted = JoinPath(t.ProgramTemp(), "kxvareviv_run.lock");
  fs::create_symlink(JoinPath(t.Scratch(), "elsewhere"), planted);
  return t.GiveToAnotherAccount(planted);
}
std::string RunLockIsALink(FaultMatrixTest& t) {
  t.MakeLogFolders();
  const std::string lock = JoinPath(fs::path(t.LogDirectory()).parent_path().string(),
                                    "kxvareviv_run.lock");
  fs::create_symlink(JoinPath(t.Scratch(), "elsewhere"), lock);
  t.Watch(JoinPath(t.Scratch(), "elsewhere"));
  return "";
}
// Report folders: "open" lets everyone add entries (mode 1777, as /tmp) or
// write it outright (0777); "reports" is the administrators' (0755).
std::string ReportFolder(FaultMatrixTest& t, const char* name, fs::perms mode) {
  const std::string folder = JoinPath(t.Scratch(), name);
  fs::create_directories(folder);
  fs::permissions(folder, mode);
  return folder;
}
std::string ReportLinkInOpenFolder(FaultMatrixTest& t) {
  const std::string report = JoinPath(ReportFolder(t, "open", fs::perms(01777)), "r.xml");
  const std::string target = JoinPath(t.Scratch(), "precious.txt");
  fs::create_symlink(target, report);
  t.Watch(target);
  return t.GiveToAnotherAccount(report);
}
std::string ReportInWritableFolder(FaultMatrixTest& t) {
  ReportFolder(t, "open", fs::perms(0777));
  t.WriteBeside("open/r.xml", "<kx_rom_discovery/>\n");
  return "";
}
std::string ReportInSoundFolder(FaultMatrixTest& t) {
  ReportFolder(t, "reports", fs::perms(0755));
  return "";
}
// A log that another account made first in a folder that lets it add files.
std::string ForeignLogFile(FaultMatrixTest& t) {
  t.MakeLogFolders();
  fs::permissions(t.LogDirectory(), fs::perms(01777));
  t.WriteBeside("drive/zpxsystem/log/veskor.log", "");
  fs::permissions(t.LogPath(), fs::perms(0666));
  return t.GiveToAnotherAccount(t.LogPath());
}

std::string ReportDirectory(FaultMatrixTest& t) {
  t.MakePackageDirectory("somedir");
  return "";
}

// Names with a blank, and one with a double quote.
std::string ReportFolderWithABlank(FaultMatrixTest& t) {
  const fs::path folder = fs::path(t.Scratch()) / "fw reports";
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms(0755));
  return "";
}
// The package names its image `attribute` (XML text), and the image is there
// under the name `image`.
std::string PackageImageNamed(FaultMatrixTest& t, const std::string& attribute,
                              const std::string& image) {
  t.WritePackageConfig(std::string("<nic_fw_package version=\"1.0\"><nic name=\"group\">"
                                   "<nic name=\"P3P Q4T\" ") +
                       kP3PQ4T + " rom=\"4.0.534\" fwFile=\"" + attribute +
                       "\"/></nic></nic_fw_package>");
  t.WriteBeside(JoinPath("package", image), "image");
  return "";
}
std::string ImageNameWithABlank(FaultMatrixTest& t) {
  return PackageImageNamed(t, "p3p rom.bin", "p3p rom.bin");
}
std::string ImageNameWithAQuote(FaultMatrixTest& t) {
  return PackageImageNamed(t, "p3p&quot;rom.bin", "p3p\"rom.bin");
}

const std::vector<std::string> kListOnly = {kListCall};
const std::vector<std::string> kNoCalls = {};

// One row per line group: name, platforms, arguments, scenario, set-up; exit
// code, banner, console, how far the run gets, log lines, the tool's calls.
// clang-format off
std::vector<Row> Rows() {
  return {
      // The flash tool and what it leaves in the NIC list.
      {"ToolMissing", Only::kAny, {"-s"}, kOne, ProgramAlone, 0, false, "", Reach::kMode,
       {kStarted, kListCommand, kNoListFile, Failed("98")}, kNoCalls},
      {"ListExits1", Only::kAny, {"-c"}, kOne + R"(<operation name="list" exit="1"/>)", nullptr,
       2, true, "", Reach::kMode, {kStarted, kListCommand, Failed("1")}, kListOnly},
      {"ListExits5", Only::kAny, {"-d", "report.xml"},
       kOne + R"(<operation name="list" exit="5"/>)", nullptr, 0, true, "", Reach::kMode,
       {kStarted, kListCommand, Failed("5")}, kListOnly},
      // The tool's own 98 with a list written is not the runner's 98.
      {"ListExits98", Only::kAny, {"-s"}, kOne + R"(<operation name="list" exit="98"/>)",
       nullptr, 0, false, "", Reach::kMode, {kStarted, kListCommand, Failed("98")}, kListOnly},
      {"ListExits255", Only::kAny, {"-n"}, kOne + R"(<operation name="list" exit="255"/>)",
       nullptr, 0, true, "", Reach::kMode, {kStarted, kListCommand, Failed("255")}, kListOnly},
      // Killed after writing a good list: the list is not trusted, and it goes.
      {"ListToolKilled", Only::kPosix, {"-y"}, kOne + R"(<operation name="list" signal="11"/>)",
       nullptr, 0, true, "", Reach::kMode, {kStarted, kListCommand, Failed("139")}, kListOnly},
      {"NoNicList", Only::kAny, {"-c"}, kOne + R"(<operation name="list" fault="no_file"/>)",
       nullptr, 2, true, "", Reach::kMode, {kStarted, kListCommand, kNoListFile, Failed("0")},
       kListOnly},
      {"EmptyNicList", Only::kAny, {"-s"},
       kOne + R"(<operation name="list" fault="body" body_hex=""/>)", nullptr, 0, false, "",
       Reach::kMode, {kStarted, kListCommand, Loading("tempNicList.xml", "3", "the file is empty"), Failed("0")},
       kListOnly},
      {"TruncatedNicList", Only::kAny, {"-y"},
       kOne + R"(<operation name="list" fault="body" body_file="truncated.xml"/>)",
       TruncatedList, 0, true, "", Reach::kMode,
       {kStarted, kListCommand, Loading("tempNicList.xml", "1", "an element is not closed at line 1, column 127"), Failed("0")}, kListOnly},
      {"Utf16NicListWorks", Only::kAny, {"-y"},
       kOne + R"(<operation name="list" fault="body" body_hex=")" + Utf16ListHex() + "\"/>",
       nullptr, 2, true, FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(),
       {kListCall, FlashCall("5")}},
      {"WrongRoot", Only::kAny, {"-c"},
       kOne + R"(<operation name="list" fault="body"><![CDATA[<nic_list><devices/></nic_list>]]></operation>)",
       nullptr, 2, true, "", Reach::kMode,
       {kStarted, kListCommand, Loading("tempNicList.xml", "11", "the expected root element is missing"), Failed("0")}, kListOnly},
      {"FamilyRozado", Only::kAny, {"-s"}, kOne + R"(<nic_list type="ROZADO_NIC"/>)", nullptr, 0,
       false, "", Reach::kMode, {kStarted, kListCommand, kRozado, Failed("0")}, kListOnly},
      {"FamilyLowerCase", Only::kAny, {"-d", "report.xml"},
       kOne + R"(<nic_list type="redevi_nic"/>)", nullptr, 0, true, "", Reach::kMode,
       {kStarted, kListCommand,
        "Unexpected value 'redevi_nic' in file tempNicList.xml. Expected 'REDEVI_NIC'.",
        Failed("0")},
       kListOnly},
      // The supported adapters before the family line are never flashed.
      {"FamilyAfterDevices", Only::kAny, {"-s", "-f"},
       kTwo + R"(<nic_list type="ROZADO_NIC" type_position="last"/>)", nullptr, 0, false, "",
       Reach::kMode, {kStarted, kListCommand, kRozado, Failed("0")}, kListOnly},
      {"WrongFirmwareType", Only::kAny, {"-s"}, Adapter("5", "fw_type=\"EFI\""), nullptr, 0,
       false, "", Reach::kMode,
       {kStarted, kListCommand,
        "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is EFI",
        Failed("0")},
       kListOnly},
      // The adapter before the unexpected type is kept (and flashed), the one with it never.
      {"WrongFirmwareTypeAfterGoodAdapter", Only::kAny, {"-y"},
       Adapter("5") + Adapter("6", "fw_type=\"EFI\""), nullptr, 2, true, FlashedQuietly("5"),
       Reach::kMode,
       FlashedQuietlyLog({"Warning!!! - firmware type is not expected!. Expected type is ROM, "
                          "current value is EFI"}),
       {kListCall, FlashCall("5")}},
      {"InvalidIds", Only::kAny, {"-c"},
       std::string(R"(<adapter device_id="X" venid="zz" devid="" subvenid="0x6B2E" subdevid="2A7D" busnumber="5" devicenumber="0" funcnumber="0" firmware_id="4.0.520"/>)"),
       nullptr, 2, true, "", Reach::kMode,
       {kStarted, kListCommand, "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.",
        "Warning!!! - Invalid/Corrupted device ID (XML tag: devid) value.",
        "NIC with PCI ID 0000-0000-6B2E-2A7D is not identified as a supported REdevi P3P NIC.",
        Failed("0")},
       kListOnly},
      {"MillionNestedElements", Only::kAny, {"-s"},
       kOne + R"(<operation name="list" fault="body" body_file="deep.xml"/>)", DeepList, 0,
       false, "", Reach::kMode,
       {kStarted, kListCommand, Loading("tempNicList.xml", "17", "elements nested too deeply at line 1, column 30018"), Failed("0")}, kListOnly},
      {"ManyAdaptersShown", Only::kAny, {"-c"}, "", ManyAdaptersScenario, 0, true, "",
       Reach::kMode, {kStarted, kListCommand, kDiscovered}, kListOnly, ShownBlock},
      {"ManyAdaptersChecked", Only::kAny, {"-n"}, "", ManyAdaptersScenario, 4, true,
       kRecommended, Reach::kMode, {kStarted, kListCommand, kDiscovered}, kListOnly, FoundLine},

      // The package.
      {"PackageMissing", Only::kAny, {"-s"}, kOne, PackageMissing, 0, false, kPackageMissing,
       Reach::kStartUp, {"Supporting file ZOVOREruz.xml is missing. Cannot proceed."}, kNoCalls},
      {"PackageEmpty", Only::kAny, {"-s"}, kOne, PackageEmpty, 0, false, "", Reach::kMode,
       {kStarted, Loading("ZOVOREruz.xml", "3", "the file is empty"), kNoImage,
        "zadiroz -flashsupport -d  tempNicList.xml -p3",
        "NIC with PCI ID 3F1D-0C4A-6B2E-2A7D is not identified as a supported REdevi P3P NIC.",
        Failed("0")},
       {"-flashsupport -d tempNicList.xml -p3"}},
      {"PackageMalformed", Only::kAny, {"-c"}, kOne, PackageMalformed, 2, true, "",
       Reach::kMode,
       {kStarted, Loading("ZOVOREruz.xml", "1", "an element is not closed at line 1, column 22"), kNoImage,
        "zadiroz -flashsupport -d  tempNicList.xml -p3",
        "NIC with PCI ID 3F1D-0C4A-6B2E-2A7D is not identified as a supported REdevi P3P NIC.",
        Failed("0")},
       {"-flashsupport -d tempNicList.xml -p3"}},
      {"PackageWithoutGroups", Only::kAny, {"-y"}, kOne, PackageWithoutGroups, 0, true, "",
       Reach::kMode,
       {kStarted, kNoImage, "zadiroz -flashsupport -d  tempNicList.xml -p3",
        "NIC with PCI ID 3F1D-0C4A-6B2E-2A7D is not identified as a supported REdevi P3P NIC.",
        Failed("0")},
       {"-flashsupport -d tempNicList.xml -p3"}},
      // A tool that needs the image refuses the listing: nothing to flash with.
      {"PackageWithoutImageName", Only::kAny, {"-s"}, "STRICT" + kOne, PackageWithoutImageName,
       0, false, "", Reach::kMode,
       {kStarted, kNoImage, "zadiroz -flashsupport -d  tempNicList.xml -p3", kNoListFile,
        Failed("4")},
       {"-flashsupport -d tempNicList.xml -p3"}},
      {"ImageMissing", Only::kAny, {"-y"}, "STRICT" + kOne, ImageMissing, 0, true, "",
       Reach::kMode,
       {kStarted, "Warning: Could not find firmware file p3p_rom.bin!", kListCommand,
        kNoListFile, Failed("4")},
       kListOnly},

      // The log.
      {"LogPathIsDirectory", Only::kAny, {"-y"}, kOne, LogPathIsDirectory, 2, true,
       FlashedQuietly("5"), Reach::kNoLog, {}, {kListCall, FlashCall("5")}},
      {"LogDirectoryReadOnly", Only::kPosix, {"-y"}, kOne, LogDirectoryReadOnly, 2, true,
       FlashedQuietly("5"), Reach::kNoLog, {}, {kListCall, FlashCall("5")}},
      // A log path that someone else controls is a log that cannot be opened:
      // the run is the same, and nothing is written through it.
      {"LogFileIsALink", Only::kPosix, {"-y"}, kOne, LogFileIsALink, 2, true, FlashedQuietly("5"),
       Reach::kNoLog, {}, {kListCall, FlashCall("5")}},
      {"LogFolderIsALink", Only::kPosix, {"-y"}, kOne, LogFolderIsALink, 2, true,
       FlashedQuietly("5"), Reach::kNoLog, {}, {kListCall, FlashCall("5")}},
      // The run lock lies in zpxsystem: a folder there that others can change
      // holds no lock, and a run that cannot exclude others does not go on.
      {"SystemFolderWritableByOthers", Only::kPosix, {"-y"}, kOne, SystemFolderWritableByOthers,
       0, false, std::string(kNoRunLock) + "<drive>/zpxsystem: a folder is writable by others\n",
       Reach::kNoLog, {}, kNoCalls},
      {"SoundLogIsWritten", Only::kAny, {"-y"}, kOne, SoundLogFolders, 2, true,
       FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},

      // Standard input.
      {"InputClosed", Only::kAny, {}, kTwo, nullptr, 3, true,
       Question("5") + kInputProblem + kCancelled, Reach::kMode,
       {kStarted, kListCommand, kDiscovered, "Found P3P Q4T MAC: 02-5E-ED-AA-00-05 (v4.0.520)",
        "Update firmware on 'NIC 5' (5:0.0) : ",
        "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):Unknown input problem!", "Quit...", "",
        "Firmware upgrade cancelled by User "},
       kListOnly},
      // A yes before the end of input is not flashed either: the run ends as a quit.
      {"InputEndsMidRun", Only::kAny, {}, kTwo, nullptr, 3, true,
       Question("5") + Question("6") + kInputProblem + kCancelled, Reach::kMode,
       {kStarted, kListCommand, kDiscovered, "Found P3P Q4T MAC: 02-5E-ED-AA-00-05 (v4.0.520)",
        "Update firmware on 'NIC 5' (5:0.0) : ", "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):y",
        "Found P3P Q4T MAC: 02-5E-ED-AA-00-06 (v4.0.520)",
        "Update firmware on 'NIC 6' (6:0.0) : ",
        "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):Unknown input problem!", "Quit...", "",
        "Firmware upgrade cancelled by User "},
       kListOnly, nullptr, "y\n", false},

      // The lock file of an interrupted tool run.
      {"LockInReadOnlyTemp", Only::kPosix, {"-y"}, kOne, LockInReadOnlyTemp, 0, false, "",
       Reach::kStartUp, {"Checking for any other instance of RozAdo tool!", kLockNotCleared},
       kNoCalls},
      {"LockIsDirectory", Only::kAny, {"-y"}, kOne, LockIsDirectory, 0, false, "",
       Reach::kStartUp, {"Checking for any other instance of RozAdo tool!", kLockNotCleared},
       kNoCalls},
      {"LockHeldOpen", Only::kAny, {"-y"}, kOne, LockHeldOpen, 0, false, "",
       Reach::kStartUp, {"Checking for any other instance of RozAdo tool!", kLockNotCleared},
       kNoCalls},
      {"LockReadOnly", Only::kAny, {"-y"}, kOne, LockReadOnly, 0, false, "", Reach::kStartUp,
       {"Checking for any other instance of RozAdo tool!", kLockNotCleared}, kNoCalls},
      {"LockReadOnlyUnprivileged", Only::kPosix, {"-y"}, kOne, LockReadOnlyUnprivileged, 0, false,
       "", Reach::kStartUp, {"Checking for any other instance of RozAdo tool!", kLockNotCleared},
       kNoCalls},
      {"LockHeldByNoOne", Only::kAny, {"-y"}, kOne, LockHeldByNoOne, 2, true, FlashedQuietly("5"),
       Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},

      // Report paths that name a directory. The old "report" cannot be
      // removed, so the tool is not asked for a new one that it could not be
      // told apart from: the run fails, whatever the tool would have said.
      {"ReportPathIsDirectory", Only::kAny, {"-d", "somedir"},
       kOne + R"(<operation name="report" fault="no_file"/>)", ReportDirectory, 0, true,
       "\nFailed to generate NIC discovery report to somedir.\n", Reach::kMode,
       {kStarted, kListCommand, kDiscovered, "",
        "Failed to generate NIC discovery report to somedir."},
       kListOnly},
      // A directory is no discovery report: the tool never gets it.
      {"UpdateReportIsDirectory", Only::kAny, {"-u", "somedir"}, kOne, ReportDirectory, 0, true,
       "", Reach::kMode, {"Error: Discovery file somedir not found!."}, kNoCalls},

      // Another account on the server. The flash tool's lock file is judged by
      // its owner; the run lock lies where only an administrator can make it;
      // a report folder that others can change is refused before any call.
      {"ForeignLockReadOnly", Only::kPosix, {"-y"}, kOne, ForeignLockReadOnly, 2, true,
       FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},
      {"ForeignLockHeldOpen", Only::kPosix, {"-y"}, kOne, ForeignLockHeldOpen, 2, true,
       FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},
      {"ForeignLockFolder", Only::kPosix, {"-y"}, kOne, ForeignLockFolder, 2, true,
       FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},
      {"ProcessListHidden", Only::kPosix, {"-y"}, kOne, ProcessListHidden, 0, false, "",
       Reach::kStartUp,
       {"Checking for any other instance of RozAdo tool!",
        "VerifyInstance: Failed to get process details!", kLockNotCleared},
       kNoCalls},
      {"RunLockPlantedInTemp", Only::kPosix, {"-y"}, kOne, RunLockPlantedInTemp, 2, true,
       FlashedQuietly("5"), Reach::kMode, FlashedQuietlyLog(), {kListCall, FlashCall("5")}},
      {"RunLockIsALink", Only::kPosix, {"-y"}, kOne, RunLockIsALink, 0, false,
       std::string(kNoRunLock) + "<drive>/zpxsystem/kxvareviv_run.lock: the file is a link\n",
       Reach::kStartUp,
       {"Checking for any other instance of RozAdo tool!",
        std::string(kNoRunLock) + "<drive>/zpxsystem/kxvareviv_run.lock: the file is a link"},
       kNoCalls},
      {"ReportLinkInOpenFolder", Only::kPosix, {"-d", "<scratch>/open/r.xml"}, kOne,
       ReportLinkInOpenFolder, 0, true, kOpenReportFolder, Reach::kMode,
       {Chomp(kOpenReportFolder)}, kNoCalls},
      {"ReportInWritableFolder", Only::kPosix, {"-u", "<scratch>/open/r.xml"}, kOne,
       ReportInWritableFolder, 0, true, kOpenReportFolder, Reach::kMode,
       {Chomp(kOpenReportFolder)}, kNoCalls},
      {"ReportInSoundFolder", Only::kAny, {"-d", "<scratch>/reports/r.xml"}, kOne,
       ReportInSoundFolder, 1, true,
       "\nSuccessfully generated NIC discovery report to <scratch>/reports/r.xml.\n", Reach::kMode,
       {kStarted, kListCommand, kDiscovered,
        "zadiroz -flashsupport -d p3p_rom.bin <scratch>/reports/r.xml -p3", "",
        "Successfully generated NIC discovery report to <scratch>/reports/r.xml."},
       {kListCall, "-flashsupport -d p3p_rom.bin <scratch>/reports/r.xml -p3"}},
      {"ForeignLogFile", Only::kPosix, {"-y"}, kOne, ForeignLogFile, 2, true, FlashedQuietly("5"),
       Reach::kNoLog, {}, {kListCall, FlashCall("5")}},

      // Arguments with a blank reach the tool as one argument each (the tool
      // records its arguments quoted again), so the report lies where it was
      // asked for and the image is found by its name. A name with a double
      // quote is never passed: the run ends as with a tool that cannot start.
      {"ReportFolderWithABlank", Only::kAny, {"-d", "../fw reports/r.xml"}, kOne,
       ReportFolderWithABlank, 1, true,
       "\nSuccessfully generated NIC discovery report to ../fw reports/r.xml.\n", Reach::kMode,
       {kStarted, kListCommand, kDiscovered,
        "zadiroz -flashsupport -d p3p_rom.bin \"../fw reports/r.xml\" -p3", "",
        "Successfully generated NIC discovery report to ../fw reports/r.xml."},
       {kListCall, "-flashsupport -d p3p_rom.bin \"../fw reports/r.xml\" -p3"}},
      {"ImageNameWithABlank", Only::kAny, {"-s"}, "STRICT" + kOne, ImageNameWithABlank, 2, false,
       "", Reach::kMode,
       {kStarted, "zadiroz -flashsupport -d \"p3p rom.bin\" tempNicList.xml -p3", kDiscovered,
        "Found P3P Q4T MAC: " + Mac("5") + " (v4.0.520)",
        "The Firmware upgrade will take several minutes. Please be patient.",
        "Selecting P3P Q4T MAC: " + Mac("5") + " ",
        "zadiroz -flashsupport -i 5:0.0 -a \"p3p rom.bin\"", "MAC " + Mac("5") + " upgrade SUCCESS!",
        "", "NIC firmware update complete."},
       {"-flashsupport -d \"p3p rom.bin\" tempNicList.xml -p3",
        "-flashsupport -i 5:0.0 -a \"p3p rom.bin\""}},
      {"ImageNameWithAQuote", Only::kPosix, {"-s"}, kOne, ImageNameWithAQuote, 0, false, "",
       Reach::kMode,
       {kStarted,
        "Error: p3p\"rom.bin holds a double quote; it is not passed to the flash tool.",
        kNoListFile, Failed("98")},
       kNoCalls},
  };
}
// clang-format on

// Interrupts: during a flash the write runs to its end, its result is logged,
// and the run stops before the next adapter; during discovery the run ends at
// once, as it always has.
constexpr char kWriteInProgress[] =
    "Interrupt received: a firmware write is in progress. The run will stop after it.";
constexpr char kLeftAsTheyWere[] = "Run stopped by the interrupt. Adapters left as they were: ";
constexpr char kWithErrors[] = "NIC firmware update completed with errors. ";

// -u: the tool writes every adapter of the report in one call, shielded too.
std::string ReportOfTwo(FaultMatrixTest& t) {
  std::string devices;
  for (const char* bus : {"5", "6"}) {
    devices += std::string("<device><busnumber value=\"") + bus +
               "\"/><devicenumber value=\"0\"/><funcnumber value=\"0\"/></device>";
  }
  t.WriteBeside("report.xml",
                "<kx_rom_discovery><devices>" + devices + "</devices></kx_rom_discovery>");
  return "";
}

// clang-format off
std::vector<Row> InterruptRows() {
  const std::string slow_first = kTwo + R"(<operation name="flash" location="5:0.0" sleep_ms="1500"/>)";
  const std::string console =
      "Found P3P Q4T MAC: " + Mac("5") + " (v4.0.520)\nFound P3P Q4T MAC: " + Mac("6") +
      " (v4.0.520)\n" + kWaiting + "Selecting P3P Q4T MAC: " + Mac("5") + " \n\n" + kWriteInProgress +
      "\nMAC " + Mac("5") + " upgrade SUCCESS!\n" + kLeftAsTheyWere + Mac("6") + " (6:0.0)\n\n" +
      kWithErrors + "\n";
  const std::vector<std::string> log = {
      kStarted, kListCommand, kDiscovered, "Found P3P Q4T MAC: " + Mac("5") + " (v4.0.520)",
      "Found P3P Q4T MAC: " + Mac("6") + " (v4.0.520)",
      "The Firmware upgrade will take several minutes. Please be patient.",
      "Selecting P3P Q4T MAC: " + Mac("5") + " ", "zadiroz " + FlashCall("5"), "", kWriteInProgress,
      "MAC " + Mac("5") + " upgrade SUCCESS!", kLeftAsTheyWere + Mac("6") + " (6:0.0)", "",
      kWithErrors};
  const std::vector<std::string> calls = {kListCall, FlashCall("5")};
  const std::string kUpdateCall = "-flashsupport -u p3p_rom.bin ../report.xml tempNicList.xml -p3";
  const std::vector<std::string> flashed = {"5:0.0=4.0.534"};
  return {
      {"CtrlCDuringAFlash", Only::kAny, {"-y"}, slow_first, nullptr, 0, true, console,
       Reach::kMode, log, calls, nullptr, "", true, FlashCall("5"), Interrupt::kKeyboard, flashed},
      {"HangUpDuringAFlash", Only::kPosix, {"-y"}, slow_first, nullptr, 0, true, console,
       Reach::kMode, log, calls, nullptr, "", true, FlashCall("5"), Interrupt::kHangUp, flashed},
      {"TerminateDuringAFlash", Only::kPosix, {"-y"}, slow_first, nullptr, 0, true, console,
       Reach::kMode, log, calls, nullptr, "", true, FlashCall("5"), Interrupt::kTerminate, flashed},
      {"CtrlCDuringAnUpdateFromAReport", Only::kAny, {"-u", "../report.xml"},
       kTwo + R"(<operation name="flash" location="5:0.0" sleep_ms="1500"/>)" +
           R"(<operation name="update" fault="no_file"/>)",
       ReportOfTwo, 2, true, std::string("\n") + kWriteInProgress + "\n\nNIC firmware update complete.\n",
       Reach::kMode, {"zadiroz " + kUpdateCall, "", kWriteInProgress, "", "NIC firmware update complete."},
       {kUpdateCall}, nullptr, "", true, kUpdateCall, Interrupt::kKeyboard,
       {"5:0.0=4.0.534", "6:0.0=4.0.534"}},
      // Killed with the tool: 128 + SIGINT, and the log ends at the tool's command.
      {"CtrlCDuringDiscovery", Only::kPosix, {"-y"},
       kTwo + R"(<operation name="list" sleep_ms="5000"/>)", nullptr, 130, true, "",
       Reach::kEnded, {kStarted, kListCommand}, kListOnly, nullptr, "", true, kListCall,
       Interrupt::kKeyboard, {}},
  };
}
// clang-format on

void FaultMatrixTest::RunAndCheck(const Row& row, std::string* skipped) {
  if (row.only == Only::kPosix && IsWindowsBuild()) {
    *skipped = "POSIX only";
    return;
  }
  if (row.only == Only::kWindows && !IsWindowsBuild()) {
    *skipped = "Windows only: an open file can be deleted on POSIX";
    return;
  }
  if (!row.during.empty() && !CanSendInterrupts()) {
    *skipped = "no console to send Ctrl+C through (under Wine: only on a terminal)";
    return;
  }
  const bool strict = StartsWith(row.scenario, "STRICT");
  WriteScenario(strict ? row.scenario.substr(6) : row.scenario, strict);
  if (row.arrange != nullptr) *skipped = row.arrange(*this);
  if (!skipped->empty() || HasFatalFailure()) return;

  const std::string config_before = ReadFileBytes(PackagePath("ZOVOREruz.xml"));
  const std::string image_before = ReadFileBytes(PackagePath("p3p_rom.bin"));
  const std::vector<std::string> files_before = PackageFiles();
  const std::string log_before = ReadFileBytes(log_path_);
  const std::string watched_before = Snapshot(watched_);

  ProgramRun run = RunRow(row);
  ASSERT_TRUE(run.started) << run.failure;
  // The instance check looks at every process of the machine: a flash tool
  // that someone else runs meanwhile refuses a run that this row expects to go
  // on. That run tells nothing about the row.
  if (row.reach == Reach::kMode && run.exit_code == 0 && run.output.empty() &&
      ReadFileBytes(log_path_).find(Native(kToolRunning), log_before.size()) !=
          std::string::npos) {
    *skipped = "a flash tool runs elsewhere on this machine";
    return;
  }
  EXPECT_EQ(run.exit_code, row.code);

  // The console.
  const std::string banner = row.banner ? Native(Banner()) : std::string();
  if (row.item == nullptr) {
    EXPECT_EQ(run.output, banner + Native(Fill(row.console)));
  } else {
    const int last = ManyAdapters() - 1;
    const std::string first_item = Native(row.item(0));
    const std::string last_item = Native(row.item(last));
    const std::string counted = first_item.substr(0, first_item.find("MAC-"));
    EXPECT_EQ(Count(run.output, counted), static_cast<size_t>(last + 1));
    EXPECT_TRUE(StartsWith(run.output, banner + first_item)) << run.output.substr(0, 2000);
    EXPECT_TRUE(EndsWith(run.output, last_item + Native(row.console)));
  }

  // The log: appended to only, with the lines of the row.
  const std::string log = ReadFileBytes(log_path_);
  ASSERT_TRUE(StartsWith(log, log_before)) << "the log lost earlier content";
  const std::string added = MaskStamps(log.substr(log_before.size()));
  switch (row.reach) {
    case Reach::kNoLog:
      EXPECT_EQ(added, "");
      break;
    case Reach::kStartUp:
      // The instance check looks at every process of the machine: a flash tool
      // that someone else runs meanwhile refuses the run with its own message.
      if (row.log.back() == kLockNotCleared &&
          added == Lines({"Checking for any other instance of RozAdo tool!", kToolRunning})) {
        std::cout << "row " << row.name << ": refused for a flash tool running elsewhere\n";
        break;
      }
      EXPECT_EQ(added, Lines(row.log));
      break;
    case Reach::kEnded:
      EXPECT_EQ(added, LogStart(row) + Lines(row.log));
      break;
    case Reach::kMode:
      if (row.item == nullptr) {
        EXPECT_EQ(added, LogStart(row) + Lines(row.log) + LogEnd(row.code));
      } else {
        EXPECT_TRUE(StartsWith(added, LogStart(row) + Lines(row.log))) << added.substr(0, 2000);
        EXPECT_TRUE(
            EndsWith(added, Native(row.item(ManyAdapters() - 1) + row.console) + LogEnd(row.code)));
      }
      break;
  }

  // What the tool was asked to do, and the files afterwards.
  EXPECT_EQ(Calls(), Filled(row.calls));
  EXPECT_EQ(ReadFileBytes(PackagePath("ZOVOREruz.xml")), config_before);
  EXPECT_EQ(ReadFileBytes(PackagePath("p3p_rom.bin")), image_before);
  EXPECT_EQ(PackageFiles(), files_before);
  EXPECT_FALSE(fs::exists(PackagePath("tempNicList.xml")));
  EXPECT_EQ(Snapshot(watched_), watched_before) << "the run wrote through a planted link";
  if (expect_lock_ >= 0) {
    EXPECT_EQ(fs::exists(LockPath()), expect_lock_ == 1);
  }
  if (!row.during.empty()) {
    EXPECT_EQ(ReadLines(JoinPath(scratch_, "state.txt")), row.state);
  }
}

TEST_P(FaultMatrixTest, KeepsItsPromises) {
  std::string skipped;
  RunAndCheck(GetParam(), &skipped);
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

INSTANTIATE_TEST_SUITE_P(Row, FaultMatrixTest, ::testing::ValuesIn(Rows()), CaseName());

INSTANTIATE_TEST_SUITE_P(Interrupt, FaultMatrixTest, ::testing::ValuesIn(InterruptRows()),
                         CaseName());

}  // namespace
