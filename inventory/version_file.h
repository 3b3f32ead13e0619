// The version-only file: the installed and packaged firmware versions of the
// adapter type, written after a complete NIC list pass when -v names a file.
#ifndef KX_INVENTORY_VERSION_FILE_H_
#define KX_INVENTORY_VERSION_FILE_H_

#include <string>

#include "inventory/records.h"
#include "inventory/run_state.h"

/// Writes the version-only file to state.report_path: the program's file
/// version, the family, the title, `current_version` (the last non-empty
/// installed version of the list), the `rom` text of `matched` and
/// `takes_effect`; then logs the rendered tree. A failed write is not reported
/// here (the caller checks whether the file exists).
void WriteVersionOnlyFile(RunState& state, const std::string& current_version,
                          const SupportedNic& matched, const std::string& takes_effect);

#endif  // KX_INVENTORY_VERSION_FILE_H_
