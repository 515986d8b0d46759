// RFC 2047 encoded words in a header (the input read as in repeated_input.h),
// as the agent relabels them and GMime decodes them: never a crash, a relabelled header no shorter than the one
// given, and a Subject that reads as valid UTF-8.

#include <cstdint>
#include <string>

#include "check.h"
#include "dev_agent/mime/encoded_words.h"
#include "dev_agent/mime/message_reader.h"
#include "repeated_input.h"
#include "util/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillbrook;
    const std::string text = repeatedInput(data, size);
    const std::string header = "Subject: " + text + "\n";
    if (std::optional<std::string> relabelled = dev_agent::relabelMislabelledEncodedWords(header)) {
        FUZZ_CHECK(relabelled->size() >= header.size());
    }
    FUZZ_CHECK(utf8::isValid(dev_agent::readMessageHeaders(header + "\n").subject));
    return 0;
}
