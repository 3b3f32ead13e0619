// Renders the NIC list that the simulated flash tool writes for `-d` and `-u`.
#ifndef KX_TOOLS_NIC_LIST_WRITER_H_
#define KX_TOOLS_NIC_LIST_WRITER_H_

#include <map>
#include <string>

#include "tools/scenario.h"

namespace zadiroz {

/// Installed versions after flashing, by location; they replace the
/// scenario's `firmware_id` (and a given `version`) of that adapter.
using FlashState = std::map<std::string, std::string>;

/// The NIC list of every adapter of the scenario as XML text with "\n" line
/// ends and an XML declaration; values are escaped, never altered.
std::string RenderNicList(const Scenario& scenario, const FlashState& state);

}  // namespace zadiroz

#endif  // KX_TOOLS_NIC_LIST_WRITER_H_
