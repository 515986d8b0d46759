#pragma once

namespace quillbrook {

// Process-wide settings every entry point makes before any work.
void prepareProcess();

}  // namespace quillbrook
