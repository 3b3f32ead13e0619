// libFuzzer target for the NIC list that the flash tool writes.
//
// Each input becomes "tempNicList.xml" in a scratch current directory and goes
// through ParseNicList twice, each time on a fresh RunState whose package
// tables come from a fixed configuration: once plain, once with -v set, so
// that the version-only file writer runs on whatever the list held. The
// admitted adapters' versions are then printed and compared, as the display
// and the update pass do.
//
// Besides the sanitizers' findings, it checks that:
//  - both passes give the same result and admit the same adapters;
//  - an admitted adapter is one the package supports, under its own PCI ID;
//  - only the pass with -v writes the version-only file, which must read back.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "inventory/nic_list.h"
#include "inventory/package_config.h"
#include "inventory/records.h"
#include "inventory/run_state.h"
#include "ui/user_interface.h"

namespace {

// Three supported types: two share their IDs but for the sub-device, one has
// a vendor ID of 0.
constexpr char kPackageConfig[] = R"(<?xml version="1.0" encoding="utf-8"?>
<nic_fw_package version="1.0">
  <nic name="REdevi P3P adapters">
    <nic name="REdevi P3P Q4T quad-port" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D" rom="4.0.534" fwFile="fw.bin"/>
    <nic name="REdevi P3P D2T dual-port" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A91" rom="4.0.600"/>
    <nic name="REdevi P3P Q4T relabelled" venid="0000" devid="0C4A" subvenid="6B2E" subdevid="2A7D" rom="4.1.7"/>
  </nic>
</nic_fw_package>
)";

constexpr char kNicListFile[] = "tempNicList.xml";
constexpr char kVersionFile[] = "versions.xml";
constexpr char kLogFile[] = "veskor.log";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

struct Setup {
  Setup() : console(std::fopen("/dev/null", "w")) {
    if (console == nullptr) std::abort();
    fuzz::InDirectory in(scratch.path());
    fuzz::WriteFile("ZOVOREruz.xml", kPackageConfig, sizeof kPackageConfig - 1);
    UserInterface ui(kLogFile, 121, 65, console, stdin);
    LoadPackageConfig(ui, package);
    if (package.supported.size() != 3) Fail("the fixed package configuration did not load");
  }
  fuzz::ScratchDirectory scratch;
  FILE* console;
  PackageTables package;
};

struct Pass {
  int result = 0;
  std::string admitted;  // the PCI IDs and MACs of the admitted adapters
};

Pass RunPass(const Setup& setup, bool version_file) {
  RunState state;
  state.ui = std::make_unique<UserInterface>(kLogFile, 121, 65, setup.console, stdin);
  state.package = setup.package;
  state.report_path = kVersionFile;
  if (version_file) state.flags.Set(RunFlag::VersionFile);

  Pass pass;
  pass.result = ParseNicList(state, kNicListFile);
  if (state.inventory.count() != state.inventory.size()) Fail("inventory count out of step");
  if (pass.result != 0 && !state.inventory.empty()) Fail("adapters admitted on a failed pass");
  for (size_t i = 0; i < state.inventory.size(); ++i) {
    NicEntry& nic = state.inventory.at(i);
    if (state.package.supported.count(nic.pci_id) == 0) Fail("an unsupported adapter admitted");
    if ((nic.flags & kNicSupported) == 0) Fail("an admitted adapter not marked supported");
    nic.installed.Format();
    nic.available.Format();
    nic.installed.Compare(nic.available);
    nic.available.Compare(nic.installed);
    pass.admitted += nic.pci_id + " " + nic.mac + "\n";
  }
  return pass;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Setup setup;
  fuzz::InDirectory in(setup.scratch.path());
  fuzz::WriteFile(kNicListFile, data, size);

  std::remove(kVersionFile);
  const Pass plain = RunPass(setup, false);
  if (fuzz::Exists(kVersionFile)) Fail("the version-only file written without -v");
  const Pass with_file = RunPass(setup, true);
  fuzz::CheckVersionOnlyFile(kVersionFile);
  if (plain.result != with_file.result || plain.admitted != with_file.admitted) {
    Fail("-v changed what the NIC list admits");
  }
  // The log is only ever appended to; start each input on an empty one.
  std::remove(kLogFile);
  return 0;
}
