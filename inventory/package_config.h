// The package configuration "ZOVOREruz.xml": which adapter types the firmware
// package supports, the version it carries and the firmware image file.
#ifndef KX_INVENTORY_PACKAGE_CONFIG_H_
#define KX_INVENTORY_PACKAGE_CONFIG_H_

#include <string>

#include "inventory/records.h"
#include "ui/user_interface.h"

/// Reads "ZOVOREruz.xml" from the current directory into `tables`: every `nic`
/// inside a `nic` group of the root is stored under its four-ID key (a later
/// entry replaces an earlier one), and the last non-empty `fwFile` becomes the
/// firmware file. On a parse failure it logs the error code and changes nothing.
void LoadPackageConfig(UserInterface& ui, PackageTables& tables);

/// Looks `key` up in the supported types. 0 and a copy of the entry in `*out`
/// when it is there; otherwise logs that the adapter is not supported, leaves
/// `*out` unchanged and returns 1.
int FindSupportedNic(UserInterface& ui, const PackageTables& tables, std::string key,
                     SupportedNic* out);

#endif  // KX_INVENTORY_PACKAGE_CONFIG_H_
