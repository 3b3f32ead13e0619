#include "inventory/flash_tool.h"

#include "platform/command_text.h"
#include "ui/names.h"

std::string ListAdaptersCommand(const std::string& firmware_file) {
  return std::string(kFlashToolCommand) + " -d " + QuoteArgument(firmware_file) + " " +
         kNicListFile + " -p3";
}

std::string WriteReportCommand(const std::string& firmware_file, const std::string& report_path) {
  return std::string(kFlashToolCommand) + " -d " + QuoteArgument(firmware_file) + " " +
         QuoteArgument(report_path) + " -p3";
}

std::string UpdateFromReportCommand(const std::string& firmware_file,
                                    const std::string& report_path) {
  return std::string(kFlashToolCommand) + " -u " + QuoteArgument(firmware_file) + " " +
         QuoteArgument(report_path) + " " + kNicListFile + " -p3";
}

std::string FlashAdapterCommand(const std::string& location, const std::string& firmware_file) {
  return std::string(kFlashToolCommand) + " -i " + QuoteArgument(location) + " -a " +
         QuoteArgument(firmware_file);
}
