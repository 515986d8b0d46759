#pragma once

namespace quillbrook {

// Block until `fd`, which a caller may have been handed in non-blocking mode,
// can be read (or written) without EAGAIN; a failure or hang-up counts as
// ready, for the next read or write to report. False only when waiting itself
// fails.
bool waitReadable(int fd);
bool waitWritable(int fd);

}  // namespace quillbrook
