// Must not compile with the output floor's include root: the run's public
// header belongs to the floor above.
#include "marrowgate/ConversionRun.h"
