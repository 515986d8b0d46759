#pragma once

// The program's one JSON module: strict reading (json/reader.h) and the sorted
// writers, pretty, compact and compact as a JSON string (json/writer.h).
//
// Values the program builds (requests, MCP answers) are `json::Value`. Parsed text
// is held by a `json::Document` and read through `json::View`, so that a large
// answer of the agent can be re-written without ever being copied into `Value`s.
// Both hold the same kinds (json::Kind), and one walk writes either.
// Every writer escapes the solidus as `\/`, writes non-ASCII as raw UTF-8 and
// keeps only the last of duplicate keys. A number read is written back with the
// same value: integers keep every digit, fractions their double value.

#include "json/reader.h"
#include "json/value.h"
#include "json/writer.h"
