// Planted for the include check: the XML library may include nothing of the program.
#include "xml/xml.h"
#include "kx_version.h"
#include "inventory/records.h"
