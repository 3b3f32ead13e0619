// libFuzzer target for the package configuration.
//
// Each input becomes "ZOVOREruz.xml" in a scratch current directory and goes
// through LoadPackageConfig, as at start-up, with a UserInterface that logs to a
// scratch file. The tables it fills then serve a discovery pass over a fixed
// NIC list with -v set, as the program uses them: the matched entry's `rom`
// text ends up in the version-only file, which must read back.
//
// Besides the sanitizers' findings, it checks that every table entry sits under
// the key made from its own IDs.

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

// Two adapters of the types in the seed configurations, one of them twice.
constexpr char kNicList[] = R"(<?xml version="1.0" encoding="utf-8"?>
<kx_rom_discovery version="1.0">
  <type value="REDEVI_NIC"/>
  <takes_effect value="reboot"/>
  <devices>
    <device>
      <device_id value="NIC 1"/>
      <venid value="3F1D"/><devid value="0C4A"/><subvenid value="6B2E"/><subdevid value="2A7D"/>
      <fw_item><type value="rom"/><firmware_id value="4.0.520"/></fw_item>
    </device>
    <device>
      <device_id value="NIC 2"/>
      <venid value="3F1D"/><devid value="0C4A"/><subvenid value="6B2E"/><subdevid value="2A91"/>
      <fw_item><type value="rom"/><firmware_id value="4.1.0"/></fw_item>
    </device>
  </devices>
</kx_rom_discovery>
)";

constexpr char kVersionFile[] = "versions.xml";
constexpr char kLogFile[] = "veskor.log";

struct Setup {
  Setup() : console(std::fopen("/dev/null", "w")) {
    if (console == nullptr) std::abort();
    fuzz::InDirectory in(scratch.path());
    fuzz::WriteFile("tempNicList.xml", kNicList, sizeof kNicList - 1);
  }
  fuzz::ScratchDirectory scratch;
  FILE* console;
};

void CheckKeys(const PackageTables& tables) {
  for (const auto& [key, nic] : tables.supported) {
    if (key != SupportedNicKey(nic.venid, nic.devid, nic.subvenid, nic.subdevid)) {
      std::fprintf(stderr, "entry %s stored under key %s\n", nic.name.c_str(), key.c_str());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  fuzz::InDirectory in(setup.scratch.path());
  fuzz::WriteFile("ZOVOREruz.xml", data, size);
  std::remove(kVersionFile);
  {
    RunState state;
    state.ui = std::make_unique<UserInterface>(kLogFile, 121, 65, setup.console, stdin);
    state.report_path = kVersionFile;
    state.flags.Set(RunFlag::VersionFile);
    LoadPackageConfig(*state.ui, state.package);
    CheckKeys(state.package);
    ParseNicList(state, "tempNicList.xml");
    fuzz::CheckVersionOnlyFile(kVersionFile);
  }
  // The log is only ever appended to; start each input on an empty one.
  std::remove(kLogFile);
  return 0;
}
