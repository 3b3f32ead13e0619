// The NIC list that the flash tool writes during discovery: one `device` per
// adapter, matched against the package's supported types.
#ifndef KX_INVENTORY_NIC_LIST_H_
#define KX_INVENTORY_NIC_LIST_H_

#include <string>

#include "inventory/run_state.h"

/// Reads the NIC list `file_name` and appends every adapter that the package
/// supports to state.inventory, in file order; each `device` is read into a
/// fresh record. Returns 0 when at least one adapter was admitted (or at once,
/// untouched, when discovery already succeeded), else 1. A file that cannot be
/// loaded or names an unexpected adapter family gives 1 with an empty Inventory;
/// an unexpected firmware type stops the pass but keeps the adapters admitted
/// before it. A complete pass writes the version-only file when -v was given.
/// All messages go to the log only.
int ParseNicList(RunState& state, const std::string& file_name);

#endif  // KX_INVENTORY_NIC_LIST_H_
