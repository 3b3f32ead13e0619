// Option -c: the installed and available firmware of every supported adapter.
#ifndef KX_INVENTORY_INSTALLED_DISPLAY_H_
#define KX_INVENTORY_INSTALLED_DISPLAY_H_

#include <string>

#include "inventory/records.h"
#include "inventory/run_state.h"

/// The block of seven lines that describes one adapter (header lines, its
/// identity, its installed and available versions), each ending in "\n".
std::string InstalledFirmwareBlock(NicEntry entry);

/// The exit codes of -c.
constexpr int kShowInstalledShown = 0;
constexpr int kShowInstalledNoSupportedAdapter = 2;

/// Runs discovery and prints one block per supported adapter as one ready text
/// (a '%' in an adapter's texts prints as it stands). Returns
/// kShowInstalledNoSupportedAdapter, printing nothing, when the Inventory is
/// empty afterwards; kShowInstalledShown after printing.
int ShowInstalledFirmware(RunState& state);

#endif  // KX_INVENTORY_INSTALLED_DISPLAY_H_
