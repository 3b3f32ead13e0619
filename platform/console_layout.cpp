// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/console_layout.h"

#include <algorithm>

namespace os {
namespace {

constexpr int kLargestDimension = 32767;  // a console coordinate is a 16-bit number

}  // namespace

ConsoleLayout PlanConsoleLayout(ConsoleSize buffer, ConsoleSize window, int window_top,
                                ConsoleSize wanted) {
  (void)window;  // the window's size does not matter: it becomes `wanted`
  ConsoleLayout layout;
  layout.buffer.width = std::min(std::max(buffer.width, wanted.width), kLargestDimension);
  layout.buffer.height = std::min(std::max(buffer.height, wanted.height), kLargestDimension);
  layout.window.width = std::min(wanted.width, layout.buffer.width);
  layout.window.height = std::min(wanted.height, layout.buffer.height);
  layout.window_top =
      std::max(0, std::min(window_top, layout.buffer.height - layout.window.height));
  return layout;
}

}  // namespace os
