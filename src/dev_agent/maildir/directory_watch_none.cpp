#include "dev_agent/maildir/directory_watch.h"

namespace quillbrook::dev_agent {

// No watch on this platform yet (a kqueue one could follow): folders are
// listed whenever their directories' modification times move.
std::unique_ptr<DirectoryWatch> DirectoryWatch::open() { return nullptr; }

}  // namespace quillbrook::dev_agent
