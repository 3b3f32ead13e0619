// The process-wide state of one run, created and owned by the driver and
// handed to the parts that need it.
#ifndef KX_APP_PROGRAM_H_
#define KX_APP_PROGRAM_H_

#include "inventory/run_state.h"

struct Program : RunState {};

#endif  // KX_APP_PROGRAM_H_
