// Option -c: the installed and available firmware of every supported adapter.
#ifndef KX_INVENTORY_INSTALLED_DISPLAY_H_
#define KX_INVENTORY_INSTALLED_DISPLAY_H_

#include <string>

#include "inventory/records.h"
#include "inventory/run_state.h"

/// The block of seven lines that describes one adapter (header lines, its
/// identity, its installed and available versions), each ending in "\n".
std::string InstalledFirmwareBlock(NicEntry entry);

/// Runs discovery and prints one block per supported adapter as one ready text
/// (a '%' in an adapter's texts prints as it stands). Returns false, printing
/// nothing, when the Inventory is empty afterwards; true after printing.
bool ShowInstalledFirmware(RunState& state);

#endif  // KX_INVENTORY_INSTALLED_DISPLAY_H_
