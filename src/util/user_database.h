#pragma once

#include <string>

namespace quillbrook {

// The current user's home directory from the user database; empty when the
// user has no entry there.
std::string homeOfCurrentUser();

}  // namespace quillbrook
