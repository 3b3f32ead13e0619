#include "platform/console_layout.h"

#include <gtest/gtest.h>

namespace {

// The console keeps its history: the buffer only ever grows, to at least the
// window the program wants; the window becomes that size.
TEST(ConsoleLayoutTest, BufferNeverShrinks) {
  const os::ConsoleSize wanted{121, 65};
  struct Case {
    const char* name;
    os::ConsoleSize buffer, window;
    int window_top;
    os::ConsoleSize new_buffer;
    int new_top;
  } cases[] = {
      {"default console", {120, 9001}, {120, 30}, 4000, {121, 9001}, 4000},
      {"legacy console", {80, 300}, {80, 25}, 0, {121, 300}, 0},
      {"wider and taller", {200, 9001}, {200, 50}, 8990, {200, 9001}, 8936},
      {"wider, shorter", {150, 40}, {150, 40}, 0, {150, 65}, 0},
      {"taller, narrower", {100, 500}, {100, 50}, 100, {121, 500}, 100},
      {"tiny", {40, 10}, {40, 10}, 0, {121, 65}, 0},
      {"at the largest", {32767, 32767}, {120, 30}, 32760, {32767, 32767}, 32702},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const os::ConsoleLayout layout = os::PlanConsoleLayout(c.buffer, c.window, c.window_top, wanted);
    EXPECT_EQ(layout.buffer.width, c.new_buffer.width);
    EXPECT_EQ(layout.buffer.height, c.new_buffer.height);
    EXPECT_EQ(layout.window.width, 121);
    EXPECT_EQ(layout.window.height, 65);
    EXPECT_EQ(layout.window_top, c.new_top);
  }
}

}  // namespace
