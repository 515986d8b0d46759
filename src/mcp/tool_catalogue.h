#pragma once

#include "json/json.h"

namespace quillbrook {

// The result of "tools/list": { "tools": [...] } with the seven tools the
// assistant may call, always the same and in the same order.
const json::Value& toolsListResult();

}  // namespace quillbrook
