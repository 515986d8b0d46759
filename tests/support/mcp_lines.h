#pragma once

#include <string>

// Expected MCP answer lines, spelled out the way the server writes them.
namespace quillbrook::test_support {

// `text` as the server writes it inside a JSON string: quotation marks,
// backslashes and solidi escaped, everything else raw. For texts without
// control characters.
std::string jsonEscaped(const std::string& text);

// The answer line (without its line feed) to a tools/call whose id is the JSON
// text `id` and whose result is one text item holding `text`.
std::string toolAnswer(const std::string& id, const std::string& text);

// `lines` without the "instructions" member of a server/discover result (a
// string without quotation marks or backslashes), so that the bytes around it
// can be compared while its wording changes.
std::string withoutInstructions(std::string lines);

}  // namespace quillbrook::test_support
