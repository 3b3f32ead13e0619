#include "ui/command_log.h"

namespace {

// On a line of its own, after the "^C" that a terminal echoes.
constexpr char kWriteInProgress[] =
    "\nInterrupt received: a firmware write is in progress. The run will stop after it.\n";

}  // namespace

void CommandLog::Starting(const std::string& command_text) {
  ui_.Write("%s\n", command_text.c_str());
}

void CommandLog::QuoteRefused(const std::string& argument) {
  ui_.Write("Error: %s holds a double quote; it is not passed to the flash tool.\n",
            argument.c_str());
}

void CommandLog::InterruptDuringWrite() { ui_.Print(std::string(kWriteInProgress)); }
