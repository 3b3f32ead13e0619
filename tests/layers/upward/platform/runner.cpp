// Planted for the include check: the platform layer reaching up for the console.
#include "platform/runner.h"
#include "ui/user_interface.h"
