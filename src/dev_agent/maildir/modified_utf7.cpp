#include "dev_agent/maildir/modified_utf7.h"

#include <optional>

#include "dev_agent/mime/gmime_handles.h"

namespace quillbrook::dev_agent {

namespace {

bool isModifiedBase64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == ',';
}

// One shifted run (the text between "&" and "-"). Modified UTF-7 differs from
// UTF-7 only in its shift character and in "," for "/", so iconv's UTF-7
// decoder does the work once those are put back.
std::optional<std::string> decodeShifted(std::string_view run) {
    std::string utf7 = "+";
    for (char c : run) {
        if (!isModifiedBase64(c)) {
            return std::nullopt;
        }
        utf7.push_back(c == ',' ? '/' : c);
    }
    utf7.push_back('-');
    gsize written = 0;
    GCharPtr decoded(
        g_convert(utf7.data(), static_cast<gssize>(utf7.size()), "UTF-8", "UTF-7", nullptr, &written, nullptr));
    if (!decoded || written == 0) {
        return std::nullopt;
    }
    return std::string(decoded.get(), written);
}

}  // namespace

std::string decodeModifiedUtf7(std::string_view name) {
    std::string out;
    std::size_t i = 0;
    while (i < name.size()) {
        char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            return std::string(name);
        }
        if (c != '&') {
            out.push_back(c);
            ++i;
            continue;
        }
        std::size_t end = name.find('-', i + 1);
        if (end == std::string_view::npos) {
            return std::string(name);
        }
        if (end == i + 1) {
            out.push_back('&');
        } else if (std::optional<std::string> decoded = decodeShifted(name.substr(i + 1, end - i - 1))) {
            out += *decoded;
        } else {
            return std::string(name);
        }
        i = end + 1;
    }
    return out;
}

}  // namespace quillbrook::dev_agent
