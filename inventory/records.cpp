#include "inventory/records.h"

namespace {

std::string PadId(const std::string& id) {
  return id.size() >= 4 ? id : std::string(4 - id.size(), '0') + id;
}

}  // namespace

std::string SupportedNicKey(const std::string& venid, const std::string& devid,
                            const std::string& subvenid, const std::string& subdevid) {
  std::string key = PadId(venid) + "-" + PadId(devid) + "-" + PadId(subvenid) + "-" + PadId(subdevid);
  // The key buffer holds at most 259 characters.
  if (key.size() > 259) key.resize(259);
  return key;
}
