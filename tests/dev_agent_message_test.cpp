#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "dev_agent/maildir/message_file.h"
#include "dev_agent/mime/address_fields.h"
#include "dev_agent/mime/message_composer.h"
#include "dev_agent/mime/message_reader.h"
#include "dev_agent_fixture.h"
#include "support/repeated.h"

namespace quillbrook::dev_agent {
namespace {

ParsedMessage readSample(const std::string& relativePath) {
    return readMessage(dev_agent_test::readFile(std::string(QUILLBROOK_SAMPLE_MAIL) + "/" + relativePath));
}

struct SampleCase {
    const char* name;
    const char* file;
    const char* from;
    const char* fromName;
    const char* subject;
    const char* date;
    const char* bodyStart;
    bool hasHtml;
};

class SampleMessage : public testing::TestWithParam<SampleCase> {};

TEST_P(SampleMessage, DecodesHeadersAndBodyToUtf8) {
    const auto& c = GetParam();
    ParsedMessage message = readSample(c.file);
    EXPECT_EQ(message.from, c.from);
    EXPECT_EQ(message.fromName, c.fromName);
    EXPECT_EQ(message.subject, c.subject);
    EXPECT_EQ(message.date, c.date);
    EXPECT_EQ(message.body.substr(0, std::string(c.bodyStart).size()), c.bodyStart);
    EXPECT_EQ(message.body.find('\r'), std::string::npos);
    EXPECT_EQ(!message.bodyHTML.empty(), c.hasHtml);
    ParsedMessage summary =
        readHeaderSummary(dev_agent_test::readFile(std::string(QUILLBROOK_SAMPLE_MAIL) + "/" + c.file));
    EXPECT_EQ(std::tie(summary.from, summary.fromName, summary.subject, summary.date),
              std::tie(message.from, message.fromName, message.subject, message.date));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleMessage,
    testing::Values(
        SampleCase{"plain_ascii", "ada/cur/1740989520.M101P4101.mail.example:2,S", "jonas.berg@example.com",
                   "Jonas Berg", "Server migration window on Saturday", "2025-03-03T09:12:00+01:00",
                   "Hi Ada,\n\nwe have", false},
        SampleCase{"alternative_quoted_printable_crlf", "ada/cur/1741097007.M102P4102.mail.example:2,",
                   "updates@kestrel-logistics.example", "Kestrel Logistics", "Your shipment KL-48213 is on its way",
                   "2025-03-04T14:03:27+00:00", "Hello Ada Lindqvist,\n\ngood news", true},
        SampleCase{"encoded_words_in_name_and_folded_subject", "ada/cur/1741275910.M104P4104.mail.example:2,FS",
                   "zoe.petrovic@example.com", "Zoë Petrović", "Résumé review — two candidates for the analyst role",
                   "2025-03-06T16:45:10+01:00", "Hi Ada,\n\nI read both résumés", false},
        SampleCase{"latin1_body_and_headers", "ada/new/1741331100.M105P4105.mail.example",
                   "francois.lefevre@atelier-rhone.example", "François Lefèvre", "Réunion de lancement à Lyon",
                   "2025-03-07T08:05:00+01:00", "Bonjour Ada,\n\nmerci pour votre réponse", false},
        SampleCase{"html_only_gets_a_text_body", "ada/cur/1741849200.M110P4110.mail.example:2,", "weekly@example.com",
                   "Bluefern Weekly", "Bluefern Weekly: new office plants & the spring offsite",
                   "2025-03-13T07:00:00+00:00", "Bluefern Weekly\n\nThe spring offsite is booked: 3–4 April", true},
        SampleCase{"emoji_subject_base64", "sam/new/1741551300.M115P4115.mail.example", "tomas.ruiz@example.net",
                   "Tomás Ruiz", "Photos from Saturday 📷", "2025-03-09T20:15:00+00:00", "Sam! Here are the photos",
                   true}),
    [](const auto& info) { return info.param.name; });

TEST(MessageReader, ListsAttachmentsWithDecodedSizeWithoutInliningThem) {
    ParsedMessage message = readSample("ada/cur/1741167000.M103P4103.mail.example:2,S");
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].filename, "HS-2025-031.pdf");
    EXPECT_EQ(message.attachments[0].contentType, "application/pdf");
    EXPECT_EQ(message.attachments[0].size, 494u);
    EXPECT_EQ(message.body.find("JVBERi0"), std::string::npos) << "base64 of the PDF leaked into the body";
}

TEST(MessageReader, ReadsThreadingHeadersWithBrackets) {
    ParsedMessage message = readSample("ada/new/1741682400.M108P4108.mail.example");
    EXPECT_EQ(message.messageId, "<budget-harbour-3@example.com>");
    EXPECT_EQ(message.inReplyTo, "<reply-budget-harbour-2@example.com>");
    EXPECT_EQ(message.references,
              (std::vector<std::string>{"<budget-harbour-1@example.com>", "<reply-budget-harbour-2@example.com>"}));
}

// The index reads most headers field by field: to the same fields as the
// whole header's reader, whatever the header holds.
TEST(MessageReader, ReadsTheIndexFieldsOfAnyHeaderAsTheHeaderReaderDoes) {
    const char* headers[] = {
        "Return-Path: <a@b.c>\nReceived: from x by y; Mon, 1 Jan 2024 10:00:00 +0000\nFrom: Tom\xC3\xA1s Ruiz "
        "<t@example.com>\nTo: r@example.org\nSubject: Invoice #1\nDate: Mon, 1 Jan 2024 10:00:00 +0000\n"
        "Message-ID: <m-1@example.com>\nMIME-Version: 1.0\nContent-Type: text/plain\n\nbody\n",
        "From: =?iso-8859-1?q?Andr=E9?= <andre@example.com>\r\nSubject: =?utf-8?q?caf=C3=A9?=\r\n\t=?utf-8?q?_"
        "ol=C3=A9?= plain\r\nMessage-ID:\r\n <folded@x>\r\nDate: Tue, 2 Jan 2024 1:2:3 -0130\r\n\r\nbody",
        "From: team: a@b.c, Dee <d@e.f>;\nFROM: second@example.com\nsubject: Caf\xE9 \nSUBJECT: last wins\n"
        "Date: Mon, 1 Jan 2024 10:00:00 +0000\nDate: not a date\nmessage-id: bare@id\n\n",
        "From: undisclosed:;\nFrom: (comment) <z@y.x> \"quoted\"\nDate: 1 Jan 2024 10:00 EST\nMessage-Id:\n\n",
        "From: a@b.c\nSubject: no blank line, no line end",
        "From: Weekly <w@x,((( unclosed\nFrom: \"Q\" <q@x>\n\n",
        "From a@b.c Mon Jan  1 00:00:00 2024\nFrom: mbox@example.com\nSubject : spaced\n\n",
        "From: cr@example.com\rSubject: bare CR\n\n",
        "From: ws@example.com\nSubject: a\n \t\n b\n\n",
        "Subject: x\nnot a field\nFrom: body@example.com\n",
        " starts folded\nFrom: a@b.c\n\n",
    };
    for (const char* header : headers) {
        ParsedMessage whole = readMessageHeaders(header);
        ParsedMessage summary = readHeaderSummary(header);
        EXPECT_EQ(
            std::tie(summary.from, summary.fromName, summary.subject, summary.date, summary.time, summary.messageId),
            std::tie(whole.from, whole.fromName, whole.subject, whole.date, whole.time, whole.messageId))
            << header;
    }
    const std::string withNul = std::string("From: nul@example.com\nSubject: a\0b\n\n", 36);
    EXPECT_EQ(readHeaderSummary(withNul).subject, readMessageHeaders(withNul).subject);
}

TEST(MessageFile, DatesAMessageWithoutUsableDateByItsDelivery) {
    dev_agent_test::TempDir dir;
    const std::string undated = "From: a@b.example\nSubject: x\n\nbody\n";
    const std::string badlyDated = "Subject: x\nDate: sometime last week\n\nbody\n";
    const std::string dated = "Subject: x\nDate: Tue, 4 Mar 2025 10:00:00 +0100\n\nbody\n";
    struct Case {
        const std::string& content;
        const char* date;
    };
    for (const Case& c : {Case{undated, "2025-03-03T08:12:00+00:00"}, Case{badlyDated, "2025-03-03T08:12:00+00:00"},
                          Case{dated, "2025-03-04T10:00:00+01:00"}}) {
        MaildirEntry entry{"1740989520.M1P1.host", dir.path() + "/1740989520.M1P1.host:2,S", {}};
        std::ofstream(entry.path) << c.content;
        EXPECT_EQ(readMessageFile(entry).date, c.date) << c.content;
        EXPECT_EQ(readMessageFileSummary(entry).date, c.date) << c.content;
    }
    EXPECT_EQ(readMessageFileSummary({"1740989520.M1P1.host", dir.path() + "/1740989520.M1P1.host:2,S", {}}).time,
              1741078800);
}

// Reading mail writes nothing to the mailbox, its files' access times included.
TEST(MessageFile, LeavesTheAccessTimeOfTheFilesItReads) {
    dev_agent_test::TempDir dir;
    MaildirEntry entry{"1740989520.M1P1.host", dir.path() + "/1740989520.M1P1.host:2,S", {}};
    std::ofstream(entry.path) << "Subject: x\n\nbody\n";
    const timespec times[2] = {{1000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, entry.path.c_str(), times, 0), 0);
    readMessageFileSummary(entry);
    readMessageFile(entry);
    struct stat info {};
    ASSERT_EQ(::stat(entry.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_atime, 1000);
}

TEST(MessageFile, ReadsHeadersLongerThanOneReadAndLeavesTheBody) {
    dev_agent_test::TempDir dir;
    std::string references = "References:";
    for (int i = 0; i < 2000; ++i) {
        references += " <reference-" + std::to_string(i) + "@example.com>\n";
    }
    MaildirEntry entry{"1740989520.M1P1.host", dir.path() + "/1740989520.M1P1.host", {}};
    std::ofstream(entry.path) << references << "Subject: after a long header\n\n" << std::string(1 << 20, 'x');
    ParsedMessage headers = readMessageFileSummary(entry);
    EXPECT_EQ(headers.subject, "after a long header");
    EXPECT_EQ(headers.body, "");
    EXPECT_THROW(readMessageFileSummary({"x", dir.path() + "/gone", {}}), std::system_error);
}

// "g:g:g:…a@b.c;;;…": address groups nested `depth` deep, which GMime reads by
// recursion; 60,000 of them overflowed the stack.
std::string nestedGroups(std::size_t depth) {
    std::string groups;
    for (std::size_t i = 0; i < depth; ++i) {
        groups += "g:";
    }
    return groups + "a@b.c" + std::string(depth, ';');
}

struct AddressFieldCase {
    const char* name;
    std::string message;
    const char* to;  // as read; not checked when null
};

std::ostream& operator<<(std::ostream& out, const AddressFieldCase& c) { return out << c.name; }

class AddressField : public testing::TestWithParam<AddressFieldCase> {};

TEST_P(AddressField, IsReadWithoutNestingDeeperThanAnyAddressListNeeds) {
    const std::string& raw = GetParam().message;
    for (const ParsedMessage& message : {readMessage(raw), readMessageHeaders(raw)}) {
        EXPECT_EQ(message.subject, "after the addresses");
        if (GetParam().to != nullptr) {
            EXPECT_EQ(message.to, GetParam().to);
        }
    }
    EXPECT_EQ(readHeaderSummary(raw).subject, "after the addresses");
}

const std::string kNested = nestedGroups(60000);
const std::string kSubject = "Subject: after the addresses\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressField,
    testing::Values(
        AddressFieldCase{"ordinary_group_kept", "To: team: a@b.c, \"Re: x\" <d@e.f>;\n" + kSubject,
                         "team: a@b.c, \"Re: x\" <d@e.f>;"},
        AddressFieldCase{"nested_from", "From: " + kNested + "\nTo: ada@example.com\n" + kSubject, "ada@example.com"},
        AddressFieldCase{"nested_to_after_an_angle_address", "To: y <x@y " + kNested + ">\n" + kSubject, nullptr},
        AddressFieldCase{"nested_cc_folded", "Cc: " + std::string(kNested).replace(60, 2, "g:\n ") + "\n" + kSubject,
                         nullptr},
        AddressFieldCase{"nested_reply_to_upper_case", "REPLY-TO : " + kNested + "\n" + kSubject, nullptr},
        AddressFieldCase{"nested_sender", "Sender: " + kNested + "\n" + kSubject, nullptr},
        // GMime read each bare word's name on to the end of the list.
        AddressFieldCase{"bare_words_past_ten_commas", "To: " + test_support::repeated("g,", 100000) + "\n" + kSubject,
                         nullptr},
        AddressFieldCase{"quoted_bare_words", "From: " + test_support::repeated("\"<\" (<),", 50000) + "\n" + kSubject,
                         nullptr},
        AddressFieldCase{"nested_in_a_forwarded_message",
                         kSubject + "Content-Type: message/rfc822\n\nFrom: " + kNested + "\nSubject: inner\n\nhi\n",
                         nullptr}),
    [](const auto& info) { return info.param.name; });

// GMime's lenient decoding searched the rest of the header for the end of each
// "=?": such a header is read with its strict decoding, to the same text.
TEST(MessageReader, ReadsAHeaderOfUnclosedEncodedWordsAsWritten) {
    std::string unclosed;
    for (int i = 0; i < 20000; ++i) {
        unclosed += "=?utf-8?q?a? ";
    }
    const std::string raw =
        "From: =?utf-8?q?Zo=C3=AB?= <zoe@example.com>\nSubject: " + unclosed + "=?utf-8?q?caf=C3=A9?=\n\nhi\n";
    for (const ParsedMessage& message : {readMessage(raw), readMessageHeaders(raw), readHeaderSummary(raw)}) {
        EXPECT_EQ(message.fromName, "Zoë");
        EXPECT_EQ(message.subject, unclosed + "café");
    }
}

// GMime copied a field once per continuation line: a header folded over many
// thousands of lines is read unfolded, to the same text, CRLF or LF.
TEST(MessageReader, ReadsAFieldFoldedOverManyLinesAsOneLine) {
    for (std::string_view lineEnd : {"\n", "\r\n"}) {
        std::string folded = "Subject: a";
        std::string expected = "a";
        for (int i = 0; i < 3000; ++i) {
            folded.append(lineEnd).append("\tb");
            expected += "\tb";
        }
        const std::string raw = "From: zoe@example.com" + std::string(lineEnd) + folded + std::string(lineEnd) +
                                std::string(lineEnd) + "hi" + std::string(lineEnd);
        for (const ParsedMessage& message : {readMessage(raw), readMessageHeaders(raw), readHeaderSummary(raw)}) {
            EXPECT_EQ(message.from, "zoe@example.com") << lineEnd.size();
            EXPECT_EQ(message.subject, expected) << lineEnd.size();
        }
    }
}

// Each level of forwarding measured everything below it again: 500 levels over
// a large text cost 500 times the message.
TEST(MessageReader, ShowsTheTextOfForwardsNestedAsDeepAsGMimeReads) {
    std::string raw = "From: a@b.example\nSubject: forwards\n";
    for (int i = 0; i < 500; ++i) {
        raw += "Content-Type: message/rfc822\n\n";
    }
    raw += "Content-Type: text/plain\n\nthe innermost text\n";
    ParsedMessage message = readMessage(raw);
    EXPECT_EQ(message.subject, "forwards");
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].contentType, "message/rfc822");
    EXPECT_EQ(message.body, "the innermost text\n");
}

TEST(MessageComposer, WritesAMessageThatReadsBackWithTheSameContent) {
    OutgoingMessage draft;
    draft.fromName = "Ada Lindqvist";
    draft.fromEmail = "ada@example.com";
    draft.to = "Zoë Petrović <zoe.petrovic@example.com>, jonas.berg@example.com";
    draft.cc = "priya.raman@example.com";
    draft.subject = "Re: Résumé review — two candidates\nBcc: injected@example.com";
    draft.body = "Thanks, Zoë!\n\nÅsa will join too.\n";
    draft.bodyHTML = "<p>Thanks, Zoë!</p>";
    draft.inReplyTo = "<CAF3p9x2Zoe7m@mail.example.com>";
    draft.references = {"<a@example.com>", "<CAF3p9x2Zoe7m@mail.example.com>"};

    ComposedMessage composed = composeMessage(draft);
    for (char c : composed.text) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "a draft must be 7-bit clean";
    }
    EXPECT_EQ(composed.text.find("\nBcc: injected"), std::string::npos);
    ParsedMessage parsed = readMessage(composed.text);
    EXPECT_EQ(parsed.from, "ada@example.com");
    EXPECT_EQ(parsed.fromName, "Ada Lindqvist");
    EXPECT_EQ(parsed.subject, "Re: Résumé review — two candidates Bcc: injected@example.com");
    EXPECT_EQ(parsed.to, "Zoë Petrović <zoe.petrovic@example.com>, jonas.berg@example.com");
    EXPECT_EQ(parsed.cc, "priya.raman@example.com");
    EXPECT_EQ(parsed.body, draft.body);
    EXPECT_EQ(parsed.bodyHTML, draft.bodyHTML);
    EXPECT_EQ(parsed.messageId, composed.messageId);
    EXPECT_NE(composed.messageId.find("@example.com>"), std::string::npos);
    EXPECT_EQ(parsed.inReplyTo, draft.inReplyTo);
    EXPECT_EQ(parsed.references, draft.references);
    EXPECT_FALSE(parsed.date.empty());
}

// A list longer than any list of recipients is cut at the last address that
// fits, and the header ends where it did.
TEST(MessageReader, CutsAnAddressFieldLongerThanAnyListAtAnAddress) {
    std::string list = "a0@b.example";
    for (int i = 1; list.size() <= kMaxAddressFieldBytes; ++i) {
        list += ", a" + std::to_string(i) + "@b.example";
    }
    const std::string raw = "To: " + list + "\n" + kSubject + "\nhi\n";
    ParsedMessage message = readMessage(raw);
    EXPECT_EQ(message.subject, "after the addresses");
    EXPECT_EQ(message.body, "hi\n");
    EXPECT_LE(message.to.size(), kMaxAddressFieldBytes);
    EXPECT_EQ(message.to, list.substr(0, message.to.size()));
    EXPECT_EQ(list[message.to.size()], ',');
}

TEST(MessageComposer, ChecksRecipientsAndMessageIds) {
    EXPECT_FALSE(addressListProblem("a@b.example"));
    EXPECT_FALSE(addressListProblem("Ada <a@b.example>, \"Berg, Jonas\" <j@b.example>"));
    for (const std::string& bad :
         {std::string(), std::string("   "), std::string("not an address"), std::string("a@b.example, nobody"),
          std::string("<@>"), nestedGroups(60000), test_support::repeated("a@b.example, ", 6000)}) {
        EXPECT_TRUE(addressListProblem(bad)) << bad.substr(0, 80);
    }
    EXPECT_TRUE(isMessageId("<a.b@example.com>"));
    for (const char* bad : {"a@b", "<a b@c>", "<nobody>", "<@c>", "<a@>", "<a@b>\r\nX: y"}) {
        EXPECT_FALSE(isMessageId(bad)) << bad;
    }
}

}  // namespace
}  // namespace quillbrook::dev_agent
