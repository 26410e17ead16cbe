#pragma once

#include "OracleBase.h"

// The database module's environment on the desktop: the real host, the error dialog of the dialog
// gateway, the connection-loss window TFMesConnect and a posted quit as termination.
TDbModuleEnvironment DesktopDbModuleEnvironment();
