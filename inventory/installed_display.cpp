#include "inventory/installed_display.h"

#include "inventory/discovery.h"

std::string InstalledFirmwareBlock(NicEntry entry) {
  // The header columns line up for a 17-character MAC, a 5-character location,
  // the 19-character PCI ID and 7-character versions; longer values shift the
  // rest of their line, the headers stay as they are.
  std::string text;
  text += "MAC                  B:D.F     PCI-ID                  NIC\n";
  text += entry.mac + "    " + entry.location + "     " + entry.pci_id + "     " +
          entry.product_id + "\n";
  text += "\n";
  text += "   (Installed)            (Available)     Interface     \n";
  text += "Image     Version      Image     Version   \n";
  text += std::string(56, '-') + "\n";
  text += "ROM       ";
  text += entry.installed.Format();
  text += "      ROM       ";
  text += entry.available.Format();
  text += "  " + entry.device_id + "\n";
  return text;
}

bool ShowInstalledFirmware(RunState& state) {
  DiscoverDevices(state);  // the Inventory tells the outcome; the reasons are in the log
  const Inventory& inventory = state.inventory;
  if (inventory.count() == 0) return false;

  std::string text;
  for (uint32_t i = 0; i < inventory.count(); ++i) {
    const NicEntry& entry = inventory.at(i);
    if ((entry.flags & kNicSupported) == 0) continue;
    text += InstalledFirmwareBlock(entry);
  }
  state.ui->Print(text);
  return true;
}
