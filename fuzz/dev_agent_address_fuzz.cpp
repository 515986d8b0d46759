// Addresses as a sender or a caller writes them (the input read as in
// repeated_input.h): as a create_draft recipient list and as the From and To
// of a mail file, never a crash or a stack overflow, whatever groups, comments
// or quotes they nest, and the addresses read are valid UTF-8.

#include <cstdint>
#include <string>

#include "check.h"
#include "dev_agent/mime/message_composer.h"
#include "dev_agent/mime/message_reader.h"
#include "repeated_input.h"
#include "util/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillbrook;
    const std::string addresses = repeatedInput(data, size);
    if (std::optional<std::string> problem = dev_agent::addressListProblem(addresses)) {
        FUZZ_CHECK(!problem->empty());
    }
    const std::string raw = "From: " + addresses + "\nTo: " + addresses + "\n\nhi\n";
    const dev_agent::ParsedMessage message = dev_agent::readMessageHeaders(raw);
    FUZZ_CHECK(utf8::isValid(message.from) && utf8::isValid(message.fromName) && utf8::isValid(message.to));
    return 0;
}
