// `draft reply` composition from an arbitrary agent answer to "read_email":
// the reply's request is always writable, its subject gets "Re: " at most
// once, and the quoted original unquotes to the original body.

#include <cstdint>
#include <string_view>

#include "check.h"
#include "json/json.h"
#include "transport/reply_composer.h"
#include "transport/response_rules.h"
#include "transport/socket_error.h"

namespace {

using namespace quillbrook;

// The body back from its quoted form: "> " off the front of every line.
std::string unquote(std::string_view quoted) {
    std::string body;
    bool lineStart = true;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (lineStart) {
            FUZZ_CHECK(quoted.substr(i, 2) == "> ");
            i += 1;
            lineStart = false;
            continue;
        }
        body.push_back(quoted[i]);
        lineStart = quoted[i] == '\n';
    }
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<json::Document> original;
    try {
        original = MCPToolMapping::parseResponse(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const CLISocketError&) {
        return 0;
    }
    const RepliedMessage message = repliedMessage(original->root());
    const std::string replyText = "Thanks, agreed.";
    const std::string body = replyBody(replyText, message);
    const std::string subject = replySubject(message.subject);

    FUZZ_CHECK(subject == message.subject || subject == "Re: " + message.subject);
    FUZZ_CHECK(replySubject(subject) == subject);
    FUZZ_CHECK(body.starts_with(replyText + "\n\nOn " + message.date + ", "));
    FUZZ_CHECK(body.ends_with(" wrote:\n" + quoteBody(message.body)));
    FUZZ_CHECK(unquote(quoteBody(message.body)) == message.body);

    json::Value request = {{"action", "create_draft"}, {"subject", subject}, {"body", body},
                           {"to", message.from},       {"target", "local"},  {"in_reply_to", "42"}};
    auto line = json::writeCompactSorted(request);
    FUZZ_CHECK(line.has_value() && line->find('\n') == std::string::npos);
    auto back = json::parseStrict(*line);
    FUZZ_CHECK(back && back->root().toValue() == request);
    return 0;
}
