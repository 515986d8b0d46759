#pragma once

#include "commands/command_definition.h"
#include "json/json.h"

namespace quillbrook {

// `--account`, which every command that touches mail accepts.
ArgumentDefinition accountOption();

// Adds "account" to a request only when --account was given (even empty).
void addAccount(json::Value& params, const Arguments& arguments);

}  // namespace quillbrook
