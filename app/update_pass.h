// The update pass: ask about every supported adapter (or apply the command
// line's policy), flash the chosen ones, and turn the outcome into the
// closing message and the exit code. UpdatePass itself is declared in modes.h.
#ifndef KX_APP_UPDATE_PASS_H_
#define KX_APP_UPDATE_PASS_H_

#include "app/program.h"

/// Runs discovery; the number of supported adapters in the Inventory, or -1
/// when discovery failed or found none.
int CountUpdateCandidates(Program& program);

/// Asks every component about the first `count` adapters in turn. A "c"
/// answer moves on to the next adapter; a quit prints the cancel message and
/// gives 3 at once. Otherwise 0.
int SelectionLoop(Program& program, int count);

/// Has every component flash the first `count` adapters that were marked,
/// going on after a failure. After a write during which an interrupt came, it
/// starts no other: it names the adapters left as they were (console and log)
/// and, when there are any, marks the run as failed. Always 0.
int ApplyLoop(Program& program, int count);

/// The closing message (printed) and exit code for the outcome bits of `flags`:
/// 0 a flash failed, 4/5/6 check only, 2 flashed, 3 nothing selected.
int SummarizeOutcome(UserInterface& ui, const RunFlags& flags);

#endif  // KX_APP_UPDATE_PASS_H_
