// The adapter types the package supports, the record of one discovered
// adapter, and the Inventory of adapters eligible for update.
#ifndef KX_INVENTORY_RECORDS_H_
#define KX_INVENTORY_RECORDS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "firmware/firmware_version.h"

/// One supported adapter type, from one inner `nic` element of the package
/// configuration. A missing attribute is an empty text.
struct SupportedNic {
  std::string name;
  std::string venid;
  std::string devid;
  std::string subvenid;
  std::string subdevid;
  std::string rom;
  std::string fwFile;
  FirmwareVersion romVersion;  ///< `rom` parsed; kept from the previous entry when `rom` is empty
};

/// Supported adapter types by key (see SupportedNicKey); plain byte-string
/// comparison, a later entry under the same key replaces the earlier one.
using SupportedNicMap = std::map<std::string, SupportedNic>;

/// The key "%04s-%04s-%04s-%04s" of four ID texts: each padded on the left
/// with '0' to at least four characters, never truncated (4040, 100, 1A2B, 7B
/// give 4040-0100-1A2B-007B). An empty text stays empty, so that an entry
/// missing an ID gives a key that no reported adapter matches.
std::string SupportedNicKey(const std::string& venid, const std::string& devid,
                            const std::string& subvenid, const std::string& subdevid);

/// Bits of NicEntry::flags.
constexpr uint32_t kNicSupported = 0x1;
constexpr uint32_t kNicSelected = 0x2;

/// One adapter as the flash tool reports it in the NIC list.
struct NicEntry {
  NicEntry() = default;

  std::string device_id;  ///< display name, spaces trimmed
  std::string reserved_text1;
  std::string reserved_text2;
  std::string version;   ///< `version` inside `fw_item`, as reported
  std::string location;  ///< bus:device.function, e.g. "5:0.1"
  int32_t venid = 0;
  int32_t devid = 0;
  int32_t subvenid = 0;
  int32_t subdevid = 0;
  std::string pci_id;  ///< "%04X-%04X-%04X-%04X" of the four IDs
  std::string mac;
  FirmwareVersion installed;
  FirmwareVersion available;  ///< romVersion of the matching SupportedNic
  std::string product_id;
  std::string image_file;           ///< never filled
  std::string selected_image_file;  ///< never filled
  std::string reserved_text3;
  int32_t reserved_count1 = 0;
  int32_t reserved_count2 = 0;
  int32_t reserved_count3 = 0;
  uint32_t flags = 0;           ///< kNicSupported, kNicSelected
  std::string firmware_id;      ///< raw installed-version text
  std::string current_version;  ///< firmware_id when it was not empty
  std::string action;           ///< "skip" means: never flash this adapter
  int32_t duration = 0;
  bool shared = false;
  std::string message;
};

/// The discovered adapters eligible for update, in NIC list order, with the
/// count of admitted adapters (always equal to the sequence's length).
class Inventory {
 public:
  void Append(const NicEntry& entry) {
    entries_.push_back(entry);
    ++count_;
  }
  /// Drops every entry (a rejected NIC list admits no adapter).
  void Clear() {
    entries_.clear();
    count_ = 0;
  }
  uint32_t count() const { return count_; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  NicEntry& at(size_t index) { return entries_.at(index); }
  const NicEntry& at(size_t index) const { return entries_.at(index); }

 private:
  std::vector<NicEntry> entries_;
  uint32_t count_ = 0;
};

/// The package's tables: supported types and the firmware image file name
/// (the last non-empty `fwFile` in document order).
struct PackageTables {
  SupportedNicMap supported;
  std::string firmware_file;  ///< the image that every flash call names
};

#endif  // KX_INVENTORY_RECORDS_H_
