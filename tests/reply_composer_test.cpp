#include "transport/reply_composer.h"

#include <gtest/gtest.h>

namespace {

using quillbrook::quoteBody;
using quillbrook::RepliedMessage;
using quillbrook::replyBody;
using quillbrook::replySubject;

TEST(ReplySubject, AddsThePrefixUnlessTheSubjectStartsWithReInAnyCase) {
    struct Case {
        const char* original;
        const char* reply;
    } cases[] = {
        {"Lunch", "Re: Lunch"},
        {"Re: Lunch", "Re: Lunch"},
        {"RE:Lunch", "RE:Lunch"},
        {"rE: x", "rE: x"},
        {"re:", "re:"},
        {"Fwd: Re: Lunch", "Re: Fwd: Re: Lunch"},
        {" Re: Lunch", "Re:  Re: Lunch"},
        {"Re", "Re: Re"},
        {"", "Re: "},
        {"Réunion", "Re: Réunion"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replySubject(c.original), c.reply) << c.original;
    }
}

TEST(QuoteBody, PrefixesEveryLineIncludingEmptyOnes) {
    struct Case {
        const char* body;
        const char* quoted;
    } cases[] = {
        {"", "> "},
        {"one", "> one"},
        {"one\ntwo", "> one\n> two"},
        {"one\n", "> one\n> "},
        {"\n\n", "> \n> \n> "},
        // Each CRLF line is quoted too; the carriage return stays with its line.
        {"one\r\ntwo\r\n", "> one\r\n> two\r\n> "},
        {"mixed\r\nlone\nend", "> mixed\r\n> lone\n> end"},
        {"no\rsplit", "> no\rsplit"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quoteBody(c.body), c.quoted) << c.body;
    }
}

TEST(ReplyBody, PutsTheAttributionBetweenReplyAndQuote) {
    RepliedMessage original{
        .from = "ada@example.com", .fromName = "Ada", .subject = "", .date = "Mon, 2 Nov", .body = "Hi\nthere"};
    EXPECT_EQ(replyBody("Thanks!", original), "Thanks!\n\nOn Mon, 2 Nov, Ada <ada@example.com> wrote:\n> Hi\n> there");
}

TEST(ReplyBody, SenderDisplayFallsBackToWhatIsKnown) {
    EXPECT_EQ(replyBody("", {"a@x", "", "", "", ""}), "\n\nOn , a@x wrote:\n> ");
    EXPECT_EQ(replyBody("r", {"", "Ada", "", "", ""}), "r\n\nOn , Ada <> wrote:\n> ");
}

}  // namespace
