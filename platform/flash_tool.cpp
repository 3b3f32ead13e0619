#include "platform/flash_tool.h"

#include "platform/names.h"

std::string ListAdaptersCommand(const std::string& firmware_file) {
  return std::string(kFlashToolCommand) + " -d " + firmware_file + " " + kNicListFile + " -p3";
}

std::string WriteReportCommand(const std::string& firmware_file, const std::string& report_path) {
  return std::string(kFlashToolCommand) + " -d " + firmware_file + " " + report_path + " -p3";
}

std::string UpdateFromReportCommand(const std::string& firmware_file,
                                    const std::string& report_path) {
  return std::string(kFlashToolCommand) + " -u " + firmware_file + " " + report_path + " " +
         kNicListFile + " -p3";
}

std::string FlashAdapterCommand(const std::string& location, const std::string& firmware_file) {
  return std::string(kFlashToolCommand) + " -i " + location + " -a " + firmware_file;
}
