#include "inventory/package_config.h"

#include "inventory/xml_fields.h"
#include "ui/names.h"
#include "xml/xml.h"

namespace {

constexpr char kRootElement[] = "nic_fw_package";
constexpr char kNicElement[] = "nic";

// Fills the working record from one entry. `romVersion` is only replaced when
// the entry names a version, so an entry without `rom` inherits the previous one.
void ReadEntry(UserInterface& ui, const XmlElement& entry, SupportedNic& nic) {
  nic.name = AttributeText(entry, "name");
  nic.venid = AttributeText(entry, "venid");
  nic.devid = AttributeText(entry, "devid");
  nic.subvenid = AttributeText(entry, "subvenid");
  nic.subdevid = AttributeText(entry, "subdevid");
  nic.rom = AttributeText(entry, "rom");
  nic.fwFile = AttributeText(entry, "fwFile");
  if (!nic.rom.empty()) nic.romVersion.Parse(nic.rom.c_str(), true, &ui);
}

}  // namespace

void LoadPackageConfig(UserInterface& ui, PackageTables& tables) {
  XmlParseResult result{};
  XmlElement root = parseXmlFile(kPackageConfigFile, kRootElement, &result);
  if (result.code != kXmlSuccess) {
    ui.Write("Loading configuration file %s failed. Error code: %d.\n", kPackageConfigFile,
             static_cast<int>(result.code));
    ui.Write("%s: %s.\n", kPackageConfigFile, result.description().c_str());
    if (result.code == kXmlCannotOpenFile) {
      ui.Write(
          "File Not found!- Please make sure %s and %s are present in the same directory where "
          "%s is located.\n",
          kFlashToolCommand, kSupportExecutable, kProgramExecutable);
    }
    return;
  }
  // The root's `version` attribute describes the package file only; nothing uses it.

  SupportedNic working;
  const int32_t groups = childCount(root);
  for (int32_t g = 0; g < groups; ++g) {
    const XmlElement group = childAt(root, g);
    if (!NameIs(group, kNicElement)) continue;
    const int32_t entries = childCount(group);
    for (int32_t e = 0; e < entries; ++e) {
      const XmlElement entry = childAt(group, e);
      if (!NameIs(entry, kNicElement)) continue;
      ReadEntry(ui, entry, working);
      if (!working.fwFile.empty()) tables.firmware_file = working.fwFile;
      tables.supported[SupportedNicKey(working.venid, working.devid, working.subvenid,
                                       working.subdevid)] = working;
    }
  }
}

int FindSupportedNic(UserInterface& ui, const PackageTables& tables, std::string key,
                     SupportedNic* out) {
  const auto found = tables.supported.find(key);
  if (found == tables.supported.end()) {
    ui.Write("NIC with PCI ID %s is not identified as a supported REdevi P3P NIC.\n", key.c_str());
    return 1;
  }
  *out = found->second;
  return 0;
}
