// The four command lines of the flash tool, built in one place. Arguments are
// joined exactly as shown; one that holds a blank, a tab or a double quote is
// quoted (QuoteArgument), so that the tool receives it as one argument.
#ifndef KX_INVENTORY_FLASH_TOOL_H_
#define KX_INVENTORY_FLASH_TOOL_H_

#include <string>

/// tool -d <firmware> tempNicList.xml -p3: list the adapters into the NIC list.
std::string ListAdaptersCommand(const std::string& firmware_file);
/// tool -d <firmware> <report> -p3: write a discovery report.
std::string WriteReportCommand(const std::string& firmware_file, const std::string& report_path);
/// tool -u <firmware> <report> tempNicList.xml -p3: update from a report.
std::string UpdateFromReportCommand(const std::string& firmware_file,
                                    const std::string& report_path);
/// tool -i <location> -a <firmware>: flash one adapter.
std::string FlashAdapterCommand(const std::string& location, const std::string& firmware_file);

#endif  // KX_INVENTORY_FLASH_TOOL_H_
