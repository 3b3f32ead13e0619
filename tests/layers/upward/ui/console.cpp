// Planted for the include check: an operating-system header above the platform layer.
#include <unistd.h>

#include "platform/os.h"
