// The development agent's message reader on arbitrary bytes as a mail file:
// whole or header fields alone, never a crash, and whatever it returns is
// valid UTF-8 that the agent can answer with as JSON; an index's fields read
// field by field are those of the whole header.

#include <cstdint>
#include <string_view>
#include <tuple>

#include <nlohmann/json.hpp>

#include "check.h"
#include "dev_agent/mime/message_reader.h"
#include "independent_json.h"
#include "json/json.h"
#include "util/utf8.h"

namespace {

using namespace quillbrook;

void checkText(const std::string& text) { FUZZ_CHECK(utf8::isValid(text)); }

void checkMessage(const dev_agent::ParsedMessage* message) {
    for (const std::string* text :
         {&message->from, &message->fromName, &message->to, &message->cc, &message->subject, &message->date,
          &message->messageId, &message->inReplyTo, &message->body, &message->bodyHTML}) {
        checkText(*text);
    }
    json::Value attachments = json::Value::array();
    for (const auto& attachment : message->attachments) {
        checkText(attachment.filename);
        checkText(attachment.contentType);
        attachments.pushBack({{"filename", attachment.filename}, {"contentType", attachment.contentType}});
    }
    for (const std::string& reference : message->references) {
        checkText(reference);
    }
    json::Value answer = {{"from", message->from},
                          {"fromName", message->fromName},
                          {"to", message->to},
                          {"cc", message->cc},
                          {"subject", message->subject},
                          {"date", message->date},
                          {"body", message->body},
                          {"bodyHTML", message->bodyHTML},
                          {"messageId", message->messageId},
                          {"inReplyTo", message->inReplyTo},
                          {"references", message->references},
                          {"attachments", std::move(attachments)}};
    auto line = json::writeCompactSorted(answer);
    FUZZ_CHECK(line.has_value());
    FUZZ_CHECK(nlohmann::json::parse(*line, nullptr, false) == fuzz::asIndependentlyParsed(answer));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const dev_agent::ParsedMessage whole = dev_agent::readMessage(raw);
    checkMessage(&whole);
    // Message lists read the header fields alone, from the start of the file.
    const dev_agent::ParsedMessage headers = dev_agent::readMessageHeaders(raw);
    checkMessage(&headers);
    // Indexes read their fields field by field, to the same text.
    const dev_agent::ParsedMessage summary = dev_agent::readHeaderSummary(raw);
    FUZZ_CHECK(
        std::tie(summary.from, summary.fromName, summary.subject, summary.date, summary.time, summary.messageId) ==
        std::tie(headers.from, headers.fromName, headers.subject, headers.date, headers.time, headers.messageId));
    return 0;
}
