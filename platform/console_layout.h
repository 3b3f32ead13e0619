// How the console is sized: portable, so that both builds test it. The Windows
// layer reads the console's buffer and window and applies the plan.
#ifndef KX_PLATFORM_CONSOLE_LAYOUT_H_
#define KX_PLATFORM_CONSOLE_LAYOUT_H_

namespace os {

struct ConsoleSize {
  int width = 0;
  int height = 0;
};

struct ConsoleLayout {
  ConsoleSize buffer;  ///< the screen buffer: columns and lines of history
  ConsoleSize window;  ///< the visible part
  int window_top = 0;  ///< the buffer line the window starts at
};

/// The buffer and window for a console whose buffer is `buffer` and whose
/// window shows `window` from line `window_top`, when `wanted` is the window
/// the program asks for. The buffer never becomes narrower or shorter than it
/// was (each dimension the larger of the current and the wanted one, at most
/// 32,767): the operator's history stays. The window becomes `wanted` and keeps
/// its top line where the buffer allows, so the latest output stays in view.
ConsoleLayout PlanConsoleLayout(ConsoleSize buffer, ConsoleSize window, int window_top,
                                ConsoleSize wanted);

}  // namespace os

#endif  // KX_PLATFORM_CONSOLE_LAYOUT_H_
