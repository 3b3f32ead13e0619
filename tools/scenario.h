// The scenario of the simulated flash tool: the adapters it reports and the
// exit codes and faults of its operations. The format is in tools/README.md.
#ifndef KX_TOOLS_SCENARIO_H_
#define KX_TOOLS_SCENARIO_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zadiroz {

/// Fields of a `device`, in the order they are written.
extern const char* const kDeviceFields[11];
/// Fields of an `fw_item` as scenario attribute names ("fw_type" is written as
/// `type`), in the order they are written.
extern const char* const kFwItemFields[7];

/// One adapter of the NIC list: the attributes given, by field name.
struct AdapterSpec {
  std::map<std::string, std::string> values;  ///< present fields only
  std::set<std::string> omit;                 ///< "fw_type", "fw_item"
  std::set<std::string> bare;                 ///< written without `value`
  /// busnumber:devicenumber.funcnumber, absent parts empty.
  std::string Location() const;
};

enum class Fault { kNone, kNoFile, kBody };

/// Exit code and faults of one operation (`discover`, `list`, `report`,
/// `update`, `flash`), optionally for one flash location.
struct OperationSpec {
  std::string name;
  std::string location;  ///< empty: any location
  bool has_exit = false;
  uint32_t exit_code = 0;
  unsigned sleep_ms = 0;
  int signal = 0;  ///< 0: none
  Fault fault = Fault::kNone;
  std::string body;  ///< for Fault::kBody, the exact bytes
};

/// The top of the NIC list.
struct NicListSpec {
  std::string root_version = "1.0";
  std::string type = "REDEVI_NIC";
  std::string type_position = "first";  ///< "first", "last" or "none"
  bool has_version = false;
  std::string version;
  bool has_takes_effect = false;
  std::string takes_effect;
};

struct Scenario {
  bool has_flash_version = false;
  std::string flash_version;
  bool require_image = false;
  NicListSpec nic_list;
  std::vector<AdapterSpec> adapters;
  std::vector<OperationSpec> operations;

  /// The operation element that applies to `name` (with `fallback` as the
  /// less specific name, may be empty) at `location` (flash only); a default
  /// operation when none is given.
  OperationSpec Find(const std::string& name, const std::string& fallback,
                     const std::string& location) const;
};

/// Loads a scenario file. False with a message in `error` when the file cannot
/// be read, is not a scenario, or holds an unknown name or a malformed number.
bool LoadScenario(const std::string& path, Scenario* scenario, std::string* error);

/// Decodes hexadecimal bytes ("FF FE 3c 00"); blanks and line ends are
/// skipped. False on any other character or an odd number of digits.
bool DecodeHex(const std::string& text, std::string* bytes);

}  // namespace zadiroz

#endif  // KX_TOOLS_SCENARIO_H_
