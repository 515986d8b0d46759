// The text rendering of an HTML body (the input read as in repeated_input.h):
// never a crash, and valid UTF-8 whenever
// the HTML is.

#include <cstdint>

#include "check.h"
#include "dev_agent/mime/html_text.h"
#include "repeated_input.h"
#include "util/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillbrook;
    const std::string html = repeatedInput(data, size);
    const std::string text = dev_agent::htmlToText(html);
    FUZZ_CHECK(!utf8::isValid(html) || utf8::isValid(text));
    return 0;
}
