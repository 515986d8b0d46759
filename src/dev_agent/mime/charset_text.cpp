#include "dev_agent/mime/charset_text.h"

#include <cerrno>
#include <optional>

#include "dev_agent/base/text.h"
#include "dev_agent/mime/gmime_handles.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kUtf8Labels[] = {"", "utf-8", "utf8", "us-ascii", "ascii"};

struct Converted {
    std::string text;
    std::size_t replaced = 0;  // input bytes that meant nothing in the charset
};

// `bytes` converted from `charset` with iconv, each byte the charset does not
// define replaced by U+FFFD. Nothing when iconv does not know the charset.
// g_convert gives up at the first bad byte, so this drives g_iconv itself.
std::optional<Converted> convertFrom(std::string_view bytes, const char* charset) {
    GIConv opened = g_iconv_open("UTF-8", charset);
    if (opened == reinterpret_cast<GIConv>(-1)) {
        return std::nullopt;
    }
    IConvPtr converter(opened);
    Converted out;
    out.text.reserve(bytes.size() + bytes.size() / 4);
    // iconv takes a non-const input pointer but does not write through it.
    gchar* in = const_cast<gchar*>(bytes.data());
    gsize inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        gchar* outPtr = buffer;
        gsize outLeft = sizeof buffer;
        gsize result = g_iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
        int error = errno;
        out.text.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<gsize>(-1) || error == E2BIG) {
            continue;
        }
        // EILSEQ or EINVAL (a sequence cut off at the end): skip one byte.
        out.text.append(utf8::kReplacementCharacter);
        ++out.replaced;
        ++in;
        --inLeft;
    }
    gchar* outPtr = buffer;
    gsize outLeft = sizeof buffer;
    g_iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.text.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    // Some of iconv's charsets (UCS-4 among them) pass on code points beyond
    // Unicode as over-long UTF-8 sequences; nothing but UTF-8 may leave here.
    if (!utf8::isValid(out.text)) {
        out.text = utf8::sanitized(out.text);
        ++out.replaced;
    }
    return out;
}

}  // namespace

bool isUtf8Label(std::string_view charset) {
    std::string lower = asciiLower(charset);
    for (std::string_view label : kUtf8Labels) {
        if (lower == label) {
            return true;
        }
    }
    return false;
}

std::string decodeText(std::string_view bytes, std::string_view charset) {
    std::optional<Converted> declared;
    if (!isUtf8Label(charset)) {
        ensureGMimeInitialised();
        std::string name(charset);
        const char* iconvName = g_mime_charset_iconv_name(name.c_str());
        declared = convertFrom(bytes, iconvName != nullptr ? iconvName : name.c_str());
        if (declared && declared->replaced == 0) {
            return std::move(declared->text);
        }
    }
    if (utf8::isValid(bytes)) {
        return std::string(bytes);
    }
    if (declared) {
        return std::move(declared->text);
    }
    if (std::optional<Converted> windows = convertFrom(bytes, "WINDOWS-1252")) {
        return std::move(windows->text);
    }
    return utf8::sanitized(bytes);
}

}  // namespace quillbrook::dev_agent
