#include "inventory/nic_list.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "inventory/package_config.h"
#include "inventory/version_file.h"
#include "inventory/xml_fields.h"
#include "platform/text_helpers.h"
#include "xml/xml.h"

namespace {

constexpr char kRootElement[] = "kx_rom_discovery";
constexpr char kExpectedFamily[] = "REDEVI_NIC";
// The sibling family has its own flash tool; its lists are refused with their own message.
constexpr char kOtherFamily[] = "ROZADO_NIC";

// Every fact of the list sits in a `value` attribute; a missing one reads as "".
std::string ValueOf(const XmlElement& element) { return AttributeText(element, "value"); }

bool EqualsIgnoringCase(const std::string& text, const char* lower) {
  const size_t length = std::strlen(lower);
  if (text.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// The leading decimal digits of `text` as atoi reads them (blanks and a sign
// allowed, 0 without digits), held to the 32-bit range instead of overflowing.
int32_t LeadingDecimal(const std::string& text) {
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

struct IdField {
  const char* tag;
  const char* wording;
  int32_t NicEntry::*field;
};

constexpr IdField kIdFields[] = {
    {"venid", "vendor ID", &NicEntry::venid},
    {"devid", "device ID", &NicEntry::devid},
    {"subvenid", "sub-vendor ID", &NicEntry::subvenid},
    {"subdevid", "sub-device ID", &NicEntry::subdevid},
};

const IdField* FindIdField(const XmlElement& element) {
  for (const IdField& id : kIdFields) {
    if (NameIs(element, id.tag)) return &id;
  }
  return nullptr;
}

// A hexadecimal ID ("0x" allowed, the whole text must convert); 0 and a warning
// when it does not.
int32_t ReadHexId(UserInterface& ui, const std::string& value, const IdField& id) {
  try {
    return ToCheckedInt(value.c_str(), 16);
  } catch (const std::exception&) {
    ui.Write("Warning!!! - Invalid/Corrupted %s (XML tag: %s) value.\n", id.wording, id.tag);
    return 0;
  }
}

// One pass over a NIC list. The facts that describe the whole file outlive
// each adapter; each `device` is read into a record of its own.
class NicListPass {
 public:
  NicListPass(RunState& state, const std::string& file_name)
      : state_(state), ui_(*state.ui), file_name_(file_name) {}

  int Run() {
    XmlParseResult parsed{};
    XmlElement root = parseXmlFile(file_name_.c_str(), kRootElement, &parsed);
    if (parsed.code != kXmlSuccess) {
      ui_.Write("Loading configuration file %s failed. Error code: %d.\n", file_name_.c_str(),
                static_cast<int>(parsed.code));
      ui_.Write("%s: %s.\n", file_name_.c_str(), parsed.description().c_str());
      return Reject();
    }
    const int32_t children = childCount(root);
    for (int32_t i = 0; i < children; ++i) {
      const XmlElement child = childAt(root, i);
      if (NameIs(child, "type")) {
        if (!CheckFamily(ValueOf(child))) return Reject();
      } else if (NameIs(child, "version")) {
        version_ = ValueOf(child);
      } else if (NameIs(child, "takes_effect")) {
        takes_effect_ = ValueOf(child);
      } else if (NameIs(child, "devices")) {
        if (!ReadDevices(child)) return result_;
      }
    }
    if (state_.flags.Has(RunFlag::VersionFile)) {
      WriteVersionOnlyFile(state_, current_version_, matched_, takes_effect_);
    }
    return result_;
  }

 private:
  // A rejected list admits no adapter: whatever it appended so far goes again.
  int Reject() {
    state_.inventory.Clear();
    return 1;
  }

  bool CheckFamily(const std::string& family) {
    if (family == kOtherFamily) {
      ui_.Write("This ZENT tool can only be used to update P3P-series REdevi NICs.\n");
      return false;
    }
    if (family != kExpectedFamily) {
      ui_.Write("Unexpected value '%s' in file %s. Expected '%s'.\n", family.c_str(),
                file_name_.c_str(), kExpectedFamily);
      return false;
    }
    return true;
  }

  // False when an unexpected firmware type stopped the pass.
  bool ReadDevices(const XmlElement& devices) {
    const int32_t count = childCount(devices);
    for (int32_t i = 0; i < count; ++i) {
      const XmlElement device = childAt(devices, i);
      if (NameIs(device, "device") && !ReadDevice(device)) return false;
    }
    return true;
  }

  bool ReadDevice(const XmlElement& device) {
    NicEntry nic;
    std::string bus, device_number, function, slot;
    const int32_t count = childCount(device);
    for (int32_t i = 0; i < count; ++i) {
      const XmlElement child = childAt(device, i);
      if (const IdField* id = FindIdField(child)) {
        nic.*(id->field) = ReadHexId(ui_, ValueOf(child), *id);
      } else if (NameIs(child, "device_id")) {
        nic.device_id = ValueOf(child);
        TrimSpaces(nic.device_id);
      } else if (NameIs(child, "macaddress")) {
        nic.mac = ValueOf(child);
      } else if (NameIs(child, "product_id")) {
        nic.product_id = ValueOf(child);
      } else if (NameIs(child, "busnumber")) {
        bus = ValueOf(child);
      } else if (NameIs(child, "devicenumber")) {
        device_number = ValueOf(child);
      } else if (NameIs(child, "funcnumber")) {
        function = ValueOf(child);
      } else if (NameIs(child, "slotnumber")) {
        slot = ValueOf(child);  // reported, not used
      } else if (NameIs(child, "fw_item")) {
        if (!ReadFirmwareItem(child, nic)) return false;
      }
      nic.location = bus + ":" + device_number + "." + function;
    }
    Admit(nic);
    return true;
  }

  // False when the item names a firmware type other than ROM.
  bool ReadFirmwareItem(const XmlElement& item, NicEntry& nic) {
    const int32_t count = childCount(item);
    for (int32_t i = 0; i < count; ++i) {
      const XmlElement child = childAt(item, i);
      if (NameIs(child, "type")) {
        const std::string type = ValueOf(child);
        if (!EqualsIgnoringCase(type, "rom")) {
          ui_.Write(
              "Warning!!! - firmware type is not expected!. Expected type is ROM, current value "
              "is %s\n",
              type.c_str());
          return false;
        }
      } else if (NameIs(child, "firmware_id")) {
        nic.firmware_id = ValueOf(child);
        if (!nic.firmware_id.empty()) {
          nic.installed.Parse(nic.firmware_id.c_str(), true, &ui_);
          nic.current_version = nic.firmware_id;
          current_version_ = nic.firmware_id;
        }
      } else if (NameIs(child, "version")) {
        nic.version = ValueOf(child);
      } else if (NameIs(child, "action")) {
        nic.action = ValueOf(child);
        TrimSpaces(nic.action);
      } else if (NameIs(child, "shared")) {
        nic.shared = ValueOf(child) != "NO";
      } else if (NameIs(child, "duration")) {
        nic.duration = LeadingDecimal(ValueOf(child));
      } else if (NameIs(child, "message")) {
        nic.message = ValueOf(child);
      }
    }
    return true;
  }

  void Admit(NicEntry& nic) {
    char pci_id[260];
    std::snprintf(pci_id, sizeof pci_id, "%04X-%04X-%04X-%04X", static_cast<unsigned>(nic.venid),
                  static_cast<unsigned>(nic.devid), static_cast<unsigned>(nic.subvenid),
                  static_cast<unsigned>(nic.subdevid));
    nic.pci_id = pci_id;
    if (FindSupportedNic(ui_, state_.package, nic.pci_id, &matched_) != 0) return;
    result_ = 0;
    nic.flags |= kNicSupported;
    nic.available = matched_.romVersion;
    nic.reserved_count1 = 0;
    nic.reserved_count2 = 0;
    nic.reserved_count3 = 0;
    state_.inventory.Append(nic);
  }

  RunState& state_;
  UserInterface& ui_;
  const std::string& file_name_;
  SupportedNic matched_;         // the entry that matched last
  std::string version_;          // kept, not used
  std::string takes_effect_;     // the last top-level value
  std::string current_version_;  // the last non-empty firmware_id of any adapter
  int result_ = 1;
};

}  // namespace

int ParseNicList(RunState& state, const std::string& file_name) {
  if (state.discovery_done) return 0;
  return NicListPass(state, file_name).Run();
}
