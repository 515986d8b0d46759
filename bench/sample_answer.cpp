#include "sample_answer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace quillbrook::bench {

std::string sampleAnswer(std::size_t bytes) {
    std::string emails;
    for (int i = 0; emails.size() + 64 < bytes; ++i) {
        char item[1024];
        std::snprintf(item, sizeof item,
                      R"(%s{"uid":"%d","subject":"Re: Quarterly plan \/ draft %d","from":"person%d@example.com",)"
                      R"("fromName":"J\u00f6rg M\u00fcller %d","date":"2026-11-%02dT09:%02d:00Z",)"
                      R"("snippet":"Hello team, the update is at https://example.com/x/%d \u2014 see the notes.",)"
                      R"("flags":[%s],"size":%d,"hasAttachments":%s,"score":%d.%03d})",
                      i == 0 ? "" : ",", 40000 + i, i, i % 97, i, i % 28 + 1, i % 60, i, i % 2 ? "\"\\\\Seen\"" : "",
                      1000 + (i * 7919) % 90000, i % 5 == 0 ? "true" : "false", i % 10, (i * 37) % 1000);
        if (emails.size() + std::string_view(item).size() + 64 > bytes) {
            break;
        }
        emails += item;
    }
    return R"({"ok":true,"result":{"folder":"INBOX","emails":[)" + emails + "]}}";
}

std::string mailboxResult(int count, std::size_t bytesEach) {
    std::string emails;
    for (int i = 0; i < count; ++i) {
        std::string message = i == 0 ? "{" : ",{";
        message.append(R"("uid":")").append(std::to_string(40000 + i));
        message.append(R"(","subject":"Re: Quarterly plan \/ draft )").append(std::to_string(i));
        message.append(R"(","from":"J\u00f6rg M\u00fcller <person)").append(std::to_string(i % 97));
        message.append(R"(@example.com>","date":"2026-11-05T09:14:00Z","flags":["\\Seen"],"size":)");
        message.append(std::to_string(1000 + i * 7)).append(R"(,"snippet":")");
        const std::string_view phrase = "See https://example.com/notes \u2014 ";
        while (message.size() + phrase.size() + 2 <= bytesEach) {
            message.append(phrase);
        }
        message.append(bytesEach - 2 - std::min(message.size(), bytesEach - 2), '.');
        emails.append(message).append("\"}");
    }
    return R"({"folder":"INBOX","count":)" + std::to_string(count) + R"(,"emails":[)" + emails + "]}";
}

namespace {

// Paragraphs of a long thread: prose, quoted replies, a tabbed table, links,
// names and punctuation outside ASCII.
constexpr std::array<std::string_view, 5> kTextParagraphs = {
    "Hi J\u00f6rg,\n\nthanks for the \"final\" figures. I went through them on the train and I think "
    "we are close; two things still bother me, see below.\n\n",
    "> On Tue, 3 Nov 2026 at 09:14, J\u00f6rg M\u00fcller <jorg@example.de> wrote:\n"
    "> The numbers for Q3 are in the shared folder under /finance/2026/q3/summary.xlsx \u2014 please\n"
    "> check the \u20ac column before Friday.\n\n",
    "Region\tQ2\tQ3\tChange\nNorth\t1\u202f204\t1\u202f377\t+14\u202f%\nSouth\t998\t1\u202f010\t+1\u202f%\n\n",
    "The caf\u00e9 on Stra\u00dfe des 17. Juni is booked for the na\u00efve-budget review; the link is "
    "https://intranet.example.com/rooms/berlin/2/ (ask \u00c5sa if it asks for a password).\n\n",
    "\u2014 Ada\n\n-- \nAda Lindqvist \u00b7 Planning \u00b7 \"We ship on Fridays\"\n\n",
};

// The same thread as a mail program writes it in HTML: attributes in quotes,
// closing tags and URLs, so solidi everywhere.
constexpr std::array<std::string_view, 4> kHtmlParagraphs = {
    "<div class=\"moz-cite-prefix\"><p>Hi J\u00f6rg,</p><p>thanks for the &quot;final&quot; figures \u2014 "
    "see <a href=\"https://intranet.example.com/finance/2026/q3/summary.xlsx\">/finance/2026/q3/"
    "summary.xlsx</a>.</p></div>\n",
    "<table style=\"border-collapse:collapse\"><tr><td>North</td><td>1\u202f204</td><td>1\u202f377</td>"
    "<td>+14\u202f%</td></tr><tr><td>South</td><td>998</td><td>1\u202f010</td><td>+1\u202f%</td></tr></table>\n",
    "<p>The caf\u00e9 on Stra\u00dfe des 17. Juni <img src=\"https://cdn.example.com/img/2x/room-berlin.png\" "
    "alt=\"Raum \u00bbSpree\u00ab\" width=\"120\"/><br/>ask \u00c5sa</p>\n",
    "<blockquote type=\"cite\"><p>&gt; check the \u20ac column before Friday.</p></blockquote>"
    "<p>\u2014 Ada<br/>Ada Lindqvist \u00b7 Planning</p>\n",
};

// Paragraphs, taken in turn, whose written (escaped) size stays within `bytes`.
template <std::size_t N>
std::string paragraphsWithin(const std::array<std::string_view, N>& paragraphs, std::size_t bytes) {
    std::string text;
    std::size_t written = 0;
    for (std::size_t i = 0;; ++i) {
        std::string paragraph(paragraphs[i % N]);
        std::size_t escaped = nlohmann::json(paragraph).dump().size() - 2;  // without its quotes
        if (written + escaped > bytes) {
            return text;
        }
        written += escaped;
        text.append(paragraph);
    }
}

}  // namespace

std::string readEmailResult(std::size_t bytes) {
    nlohmann::json result = {
        {"uid", "42"},
        {"account", "ada@example.com"},
        {"folder", "INBOX"},
        {"from", "jorg@example.de"},
        {"fromName", "J\u00f6rg M\u00fcller"},
        {"to", "ada@example.com"},
        {"cc", ""},
        {"subject", "Re: Q3 figures / \"final\" version"},
        {"date", "2026-11-03T09:14:00+01:00"},
        {"body", ""},
        {"bodyHTML", ""},
        {"messageId", "<q3@example.de>"},
        {"inReplyTo", ""},
        {"references", nlohmann::json::array()},
        {"attachments", nlohmann::json::array()},
        {"flags", {"\\Seen"}},
    };
    const std::size_t room = bytes - std::min(bytes, result.dump().size());
    // A third for the text part, the rest for the HTML one, as mail programs send them.
    result["body"] = paragraphsWithin(kTextParagraphs, room / 3);
    result["bodyHTML"] = paragraphsWithin(kHtmlParagraphs, room - room / 3);
    return result.dump();
}

std::string okAnswer(const std::string& resultJson) { return R"({"ok":true,"result":)" + resultJson + "}\n"; }

}  // namespace quillbrook::bench
