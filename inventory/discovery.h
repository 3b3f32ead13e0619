// Device discovery through the flash tool: the package configuration, the NIC
// list that the tool writes, and the Inventory of supported adapters.
#ifndef KX_INVENTORY_DISCOVERY_H_
#define KX_INVENTORY_DISCOVERY_H_

#include "inventory/run_state.h"

/// Loads the package configuration, has the flash tool write the NIC list
/// "tempNicList.xml" in the current directory, parses it into state.inventory
/// and deletes it. Returns the tool's exit code: 0 when it exited 0 (also when
/// its list was then rejected or named no supported adapter), 98 when it could
/// not start; judge the outcome by the Inventory too. Once a pass has succeeded
/// every later call returns 0 at once, doing nothing. Messages go to the log only.
int DiscoverDevices(RunState& state);

#endif  // KX_INVENTORY_DISCOVERY_H_
