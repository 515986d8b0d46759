#pragma once

#include <string>

#include "json/json.h"

namespace quillbrook {

// Prints a result as sorted, pretty JSON and a line feed on standard output.
void printResult(json::View result);

// Performs one agent action and prints its result; on failure reports it on
// standard error and ends the process with the failure's exit status.
void runSocket(const std::string& action, json::Value params);

}  // namespace quillbrook
