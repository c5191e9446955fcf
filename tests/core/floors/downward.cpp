// Compiles with the output floor's include root: the floors below it, its
// own, and their public headers.
#include "marrowgate/OutputTarget.h"
#include "message/HeaderBlock.h"
#include "output/MailboxWriter.h"
#include "pathtext/WindowsPaths.h"
#include "platform/FileSystem.h"
#include "record/FromLine.h"
