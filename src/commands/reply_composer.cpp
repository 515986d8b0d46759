#include "commands/reply_composer.h"

#include <algorithm>
#include <cctype>

namespace quillbrook {

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
