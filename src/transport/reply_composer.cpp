#include "transport/reply_composer.h"

#include <algorithm>
#include <cctype>

namespace quillbrook {

namespace {

std::string stringMember(json::View object, const char* key) {
    auto member = object.find(key);
    auto text = member ? member->string() : std::nullopt;
    return std::string(text.value_or(""));
}

}  // namespace

RepliedMessage repliedMessage(json::View readEmailResult) {
    return {
        .from = stringMember(readEmailResult, "from"),
        .fromName = stringMember(readEmailResult, "fromName"),
        .subject = stringMember(readEmailResult, "subject"),
        .date = stringMember(readEmailResult, "date"),
        .body = stringMember(readEmailResult, "body"),
    };
}

std::string replySubject(const std::string& originalSubject) {
    std::string prefix = originalSubject.substr(0, 3);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (prefix == "re:") {
        return originalSubject;
    }
    return "Re: " + originalSubject;
}

std::string quoteBody(const std::string& body) {
    std::string quoted = "> ";
    quoted.reserve(body.size() + body.size() / 8 + 2);
    for (char c : body) {
        quoted.push_back(c);
        if (c == '\n') {
            quoted.append("> ");
        }
    }
    return quoted;
}

std::string replyBody(const std::string& replyText, const RepliedMessage& original) {
    std::string sender = original.fromName.empty() ? original.from : original.fromName + " <" + original.from + ">";
    return replyText + "\n\nOn " + original.date + ", " + sender + " wrote:\n" + quoteBody(original.body);
}

}  // namespace quillbrook
