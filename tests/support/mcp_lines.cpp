#include "support/mcp_lines.h"

namespace quillbrook::test_support {

std::string jsonEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '/') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string toolAnswer(const std::string& id, const std::string& text) {
    return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{"content":[{"text":")" + jsonEscaped(text) +
           R"(","type":"text"}]}})";
}

}  // namespace quillbrook::test_support
