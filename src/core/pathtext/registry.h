#pragma once

// `registry` is the written name of the unit that splits paths (its shell
// services are the window's, in app/registryShell.h). The splitting lives in
// PathParts.h.
#include "marrowgate/PathParts.h"
