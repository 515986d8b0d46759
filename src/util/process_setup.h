#pragma once

namespace quillbrook {

// Process-wide settings every entry point makes before any work.
void prepareProcess();

// For a long-running server, after prepareProcess: memory a burst took goes
// back to the system instead of staying at the burst's peak. Large buffers are
// mapped on their own and returned when freed, and free memory at the top of
// a heap is returned once it passes a few MiB.
void returnMemoryPromptly();

// Hands the memory the allocator keeps free back to the system, for a server
// that has become idle after a burst; where the C library does that by
// itself, nothing.
void releaseFreeMemory();

}  // namespace quillbrook
