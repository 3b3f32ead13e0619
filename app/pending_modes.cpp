// Modes whose work is not built yet: they do nothing and end with 0.
#include "app/modes.h"

int ShowInstalledFirmware(Program&) { return 0; }
int GenerateDiscoveryReport(Program&) { return 0; }
int UpdateFromReport(Program&) { return 0; }
int VersionOnlyMode(Program&) { return 0; }
int UpdatePass(Program&) { return 0; }
