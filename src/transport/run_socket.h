#pragma once

#include <string>

#include "json/json.h"

namespace quillbrook {

// Prints a result as sorted, pretty JSON and a line feed on standard output;
// throws std::runtime_error when standard output cannot take it.
void printResult(json::View result);

// Performs one agent action and prints its result. A failure leaves as the
// CLISocketError of the exchange, for the command line to report.
void runSocket(const std::string& action, json::Value params);

}  // namespace quillbrook
