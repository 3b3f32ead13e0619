#include "inventory/records.h"

namespace {

// An empty ID stays empty: padded to "0000" it would match an adapter whose
// reported ID was invalid (and read as 0), so an entry missing an ID matches nothing.
std::string PadId(const std::string& id) {
  if (id.empty() || id.size() >= 4) return id;
  return std::string(4 - id.size(), '0') + id;
}

}  // namespace

std::string SupportedNicKey(const std::string& venid, const std::string& devid,
                            const std::string& subvenid, const std::string& subdevid) {
  std::string key =
      PadId(venid) + "-" + PadId(devid) + "-" + PadId(subvenid) + "-" + PadId(subdevid);
  // The key buffer holds at most 259 characters.
  if (key.size() > 259) key.resize(259);
  return key;
}
