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

std::string withoutInstructions(std::string lines) {
    const std::string member = R"("instructions":")";
    for (auto start = lines.find(member); start != std::string::npos; start = lines.find(member, start)) {
        const std::size_t end = lines.find('"', start + member.size());
        lines.erase(start, end + 2 - start);  // the closing quotation mark and the comma after it
    }
    return lines;
}

}  // namespace quillbrook::test_support
