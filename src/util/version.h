#pragma once

namespace quillbrook {

// The version every executable and the MCP server report.
inline constexpr char kVersion[] = "2.0.0";

}  // namespace quillbrook
