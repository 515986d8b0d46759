#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include "dev_agent/mime/gmime_handles.h"
#include "dev_agent/mime/message_reader.h"
#include "dev_agent_fixture.h"

// The hand-made corpus in tests/mail_faults: one common fault of real-world mail
// per file, and what a person must see of each.

namespace quillbrook::dev_agent {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAda = "ada@example.com";
constexpr const char* kDated = "2025-03-04T10:00:00+01:00";

std::string readFault(const std::string& file) {
    return dev_agent_test::readFile(std::string(QUILLBROOK_MAIL_FAULTS) + "/" + file);
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(QUILLBROOK_MAIL_FAULTS)) {
        files.push_back(entry.path().filename().string());
    }
    return files;
}

struct ExpectedAttachment {
    std::string filename;
    std::string contentType;
    bool operator==(const ExpectedAttachment&) const = default;
};

struct FaultCase {
    const char* file;
    std::string from;
    std::string fromName;
    std::string subject;
    std::string date;
    std::string body;
    std::string bodyHTML = {};
    std::vector<ExpectedAttachment> attachments = {};
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.file; }

class FaultyMessage : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultyMessage, ShowsWhatAMailProgramShows) {
    const FaultCase& c = GetParam();
    ParsedMessage message = readMessage(readFault(c.file));
    EXPECT_EQ(message.from, c.from);
    EXPECT_EQ(message.fromName, c.fromName);
    EXPECT_EQ(message.subject, c.subject);
    EXPECT_EQ(message.date, c.date);
    EXPECT_EQ(message.body, c.body);
    EXPECT_EQ(message.bodyHTML, c.bodyHTML);
    std::vector<ExpectedAttachment> attachments = {};
    for (const auto& attachment : message.attachments) {
        attachments.push_back({attachment.filename, attachment.contentType});
    }
    EXPECT_EQ(attachments, c.attachments);
}

// Each file's name says its fault; the rows say what must come out of it.
const FaultCase kFaults[] = {
    // Content-Type that cannot be used: the part is text/plain.
    {"content_type_without_subtype.eml", kAda, "Ada Lindqvist", "No subtype", kDated, "The type has no subtype.\n"},
    {"content_type_unparseable.eml", kAda, "Ada Lindqvist", "Garbage type", kDated, "The type cannot be parsed.\n"},
    {"content_type_empty.eml", kAda, "Ada Lindqvist", "Empty type", kDated, "The type is empty.\n"},
    // A text part that names a file is the body when no text came before it.
    {"text_part_named_without_disposition.eml",
     kAda,
     "Ada Lindqvist",
     "Named text part",
     kDated,
     "The named first text part is the body.",
     "",
     {{"notes.txt", "text/plain"}}},
    {"text_part_named_single.eml", kAda, "Ada Lindqvist", "Named single part", kDated,
     "A lone named text part is the body.\n"},
    {"text_part_attachment_disposition.eml",
     kAda,
     "Ada Lindqvist",
     "Text attachment only",
     kDated,
     "",
     "",
     {{"log.txt", "text/plain"}}},
    // Header blocks.
    {"header_without_blank_line.eml", kAda, "Ada Lindqvist", "No blank line", kDated,
     "This line starts the body without a blank line.\nSecond line.\n"},
    {"header_only_no_body.eml", kAda, "Ada Lindqvist", "Only a header", kDated, ""},
    {"mbox_from_line.eml", "jonas@example.com", "Jonas Berg", "Saved from an mbox", kDated,
     "The separator line is not a header.\n"},
    {"raw_utf8_headers.eml", "juergen@example.de", "Jürgen Müller", "Grüße aus Köln — 😀", kDated, "Hallo!\n"},
    {"raw_latin1_headers.eml", "francois@example.fr", "François Lèvre", "Réunion à Lyon", kDated, "Bonjour à tous\n"},
    {"from_unparseable.eml", "", "", "Bad sender", kDated, "Who sent this?\n"},
    {"crlf_and_bare_cr.eml", kAda, "", "Line ends", kDated, "first\nsecond\nthird\n"},
    // Encoded words.
    {"encoded_word_split_character.eml", kAda, "Ada Lindqvist", "Grüße", kDated,
     "A character split across two encoded words.\n"},
    {"encoded_word_with_spaces.eml", kAda, "Ada Lindqvist", "café au lait", kDated,
     "Spaces inside a Q encoded word.\n"},
    {"encoded_word_unterminated.eml", kAda, "Ada Lindqvist", "=?utf-8?Q?unterminated=20word", kDated,
     "An encoded word without its end.\n"},
    {"encoded_word_inside_word.eml", kAda, "Ada Lindqvist", "Re:Résumé", kDated, "An encoded word glued to text.\n"},
    {"encoded_word_unknown_charset.eml", kAda, "Ada Lindqvist", "café", kDated,
     "An encoded word in an unknown charset.\n"},
    {"encoded_word_wrong_charset.eml", "f@example.fr", "François", "cafénaïveé", kDated,
     "The words claim UTF-8 and hold Latin-1.\n"},
    {"encoded_word_bad_base64.eml", kAda, "Ada Lindqvist", "ok", kDated, "Broken base64 in an encoded word.\n"},
    // Charsets: missing, empty, unknown or wrong labels fall back to Windows-1252.
    {"charset_missing_8bit_body.eml", kAda, "Ada Lindqvist", "No charset", kDated, "naïve “quotes” €5\n"},
    {"charset_empty.eml", kAda, "Ada Lindqvist", "Empty charset", kDated, "déjà vu\n"},
    {"charset_unknown.eml", kAda, "Ada Lindqvist", "Unknown charset", kDated, "déjà vu\n"},
    {"charset_wrong_utf8_declared.eml", kAda, "Ada Lindqvist", "Says UTF-8, is Latin-1", kDated, "déjà vu\n"},
    {"charset_ascii_declared_utf8_sent.eml", kAda, "Ada Lindqvist", "Says ASCII, is UTF-8", kDated, "déjà vu\n"},
    {"charset_undefined_windows1252_bytes.eml", kAda, "Ada Lindqvist", "Bytes no charset defines", kDated,
     "A\uFFFDB\uFFFDC\uFFFDD\n"},
    {"charset_latin2_declared.eml", kAda, "Ada Lindqvist", "Latin-2", kDated, "Łódź\n"},
    {"charset_declared_empty_body.eml", kAda, "", "Empty body with a charset", kDated, ""},
    {"html_only_unknown_charset.eml", kAda, "Ada Lindqvist", "HTML in unknown charset", kDated, "Café ouvert",
     "<p>Café <b>ouvert</b></p>\n"},
    // Transfer encodings.
    {"base64_broken.eml", kAda, "Ada Lindqvist", "Broken base64", kDated, "Hello, world"},
    {"base64_truncated.eml", kAda, "Ada Lindqvist", "Truncated base64", kDated, "Grüße, Wel"},
    {"base64_only_padding.eml", kAda, "", "Empty base64 part", kDated, ""},
    {"quoted_printable_broken.eml", kAda, "Ada Lindqvist", "Broken QP", kDated,
     "Bad =ZZ escape, café, softbreak, end "},
    {"transfer_encoding_unknown.eml", kAda, "Ada Lindqvist", "Unknown encoding", kDated,
     "Plain text under an unknown encoding.\n"},
    // MIME structure.
    {"multipart_missing_closing_boundary.eml", kAda, "Ada Lindqvist", "No closing boundary", kDated, "The text part.",
     "<p>The HTML part.</p>\n"},
    {"multipart_without_boundary.eml", kAda, "Ada Lindqvist", "Multipart without boundary", kDated,
     "Text where parts were promised.\n"},
    {"multipart_boundary_never_used.eml", kAda, "Ada Lindqvist", "Boundary never used", kDated,
     "The boundary never appears.\n"},
    {"nested_message_rfc822.eml",
     kAda,
     "Ada Lindqvist",
     "Fwd: Quarterly numbers",
     kDated,
     "See the forwarded message.",
     "",
     {{"", "message/rfc822"}}},
    {"forwarded_message_only.eml",
     kAda,
     "Ada Lindqvist",
     "Fwd: Only the forward",
     kDated,
     "Only the forwarded text.\n",
     "",
     {{"", "message/rfc822"}}},
    // No header, or nothing at all: still a message, all body.
    {"no_header_at_all.eml", "", "", "", "", "Just some text saved into the folder,\nwithout any header.\n"},
    {"no_header_binary.eml", "", "", "", "", std::string("\0\x01\x02 binary\xC3\xBF\n", 13)},
    {"empty_file.eml", "", "", "", "", ""},
    // Dates that cannot be used: the reader leaves the date to the delivery time.
    {"date_missing.eml", kAda, "", "No date", "", "Undated.\n"},
    {"date_unparseable.eml", kAda, "", "Bad date", "", "Badly dated.\n"},
};

INSTANTIATE_TEST_SUITE_P(Corpus, FaultyMessage, testing::ValuesIn(kFaults), [](const auto& info) {
    std::string name = info.param.file;
    return name.substr(0, name.find('.'));
});

TEST(FaultCorpus, EveryFileHasARow) {
    for (const std::string& file : corpusFiles()) {
        bool listed = false;
        for (const FaultCase& c : kFaults) {
            listed = listed || file == c.file;
        }
        EXPECT_TRUE(listed) << file << " has no expected result";
    }
}

// Standard error redirected to a temporary file while the value lives.
class CapturedStandardError {
public:
    CapturedStandardError() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        restore();
        std::fclose(file_);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

    std::string text() {
        restore();
        std::string captured;
        std::rewind(file_);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) {
            captured.append(buffer, got);
        }
        return captured;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

    std::FILE* file_;
    int saved_;
};

TEST(FaultCorpus, ReadingItWritesNothingToTheLog) {
    ensureGMimeInitialised();
    CapturedStandardError log;
    for (const std::string& file : corpusFiles()) {
        std::string raw = readFault(file);
        readMessage(raw);
        readMessageHeaders(raw);
    }
    EXPECT_EQ(log.text(), "");
}

TEST(FaultCorpus, HeaderReadingAgreesWithFullReading) {
    for (const std::string& file : corpusFiles()) {
        std::string raw = readFault(file);
        ParsedMessage full = readMessage(raw);
        ParsedMessage headers = readMessageHeaders(raw);
        EXPECT_EQ(headers.from, full.from) << file;
        EXPECT_EQ(headers.fromName, full.fromName) << file;
        EXPECT_EQ(headers.subject, full.subject) << file;
        EXPECT_EQ(headers.date, full.date) << file;
        EXPECT_EQ(headers.messageId, full.messageId) << file;
        EXPECT_EQ(headers.body, "") << file;
        EXPECT_TRUE(headers.attachments.empty()) << file;
    }
}

TEST(LibraryLog, WarningsBecomeAgentLinesAndChatterIsDropped) {
    ensureGMimeInitialised();
    CapturedStandardError log;
    g_log("GMime", G_LOG_LEVEL_WARNING, "odd %s", "input");
    g_log("GLib", G_LOG_LEVEL_DEBUG, "chatter");
    g_log("GLib", G_LOG_LEVEL_INFO, "chatter");
    // A failed precondition inside GLib is a critical warning, not an abort.
    EXPECT_EQ(g_convert(nullptr, 0, "UTF-8", "WINDOWS-1252", nullptr, nullptr, nullptr), nullptr);
    std::string text = log.text();
    const std::string warning = "dev-agent: GMime warning: odd input\n";
    const std::string critical = "dev-agent: GLib critical: g_convert: assertion";
    EXPECT_EQ(text.substr(0, warning.size()), warning);
    EXPECT_EQ(text.substr(warning.size(), critical.size()), critical);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

// The corpus in a served mailbox: every message is listed and readable, a
// modified UTF-7 folder answers to both spellings, and the log holds nothing but
// the agent's own lines.
TEST(FaultCorpus, AgentServesItAndLogsOnlyItsOwnLines) {
    using nlohmann::json;
    dev_agent_test::TempDir home;
    dev_agent_test::copySampleMail(home.path() + "/mail");
    std::vector<std::string> files = corpusFiles();
    for (std::size_t i = 0; i < files.size(); ++i) {
        fs::copy_file(std::string(QUILLBROOK_MAIL_FAULTS) + "/" + files[i], home.path() + "/mail/ada/cur/" +
                                                                                std::to_string(1741000000 + i) + ".M" +
                                                                                std::to_string(i) + "P1.fault:2,S");
    }
    fs::create_directories(home.path() + "/mail/ada/.Entw&APw-rfe/cur");
    fs::copy_file(std::string(QUILLBROOK_MAIL_FAULTS) + "/date_missing.eml",
                  home.path() + "/mail/ada/.Entw&APw-rfe/cur/1741000000.M1P1.draft:2,DS");

    dev_agent_test::AgentProcess agent(home.path());
    auto ask = [&](json request) {
        json answer = json::parse(dev_agent_test::roundTrip(agent.socketPath(), request.dump() + "\n"));
        EXPECT_EQ(answer["ok"], true) << request << " -> " << answer;
        return answer["result"];
    };
    json listed = ask({{"action", "list_emails"}, {"limit", 200}});
    EXPECT_EQ(listed["total"], 10 + files.size());
    for (const auto& email : listed["emails"]) {
        ask({{"action", "read_email"}, {"uid", email["uid"]}});
    }
    json folders = ask({{"action", "list_folders"}, {"account", "ada@example.com"}});
    EXPECT_NE(folders.dump().find("\"Entwürfe\""), std::string::npos) << folders;
    for (const char* spelling : {"Entwürfe", "Entw&APw-rfe"}) {
        json drafts = ask({{"action", "list_emails"}, {"folder", spelling}});
        EXPECT_EQ(drafts["folder"], "Entwürfe");
        ASSERT_EQ(drafts["total"], 1);
        EXPECT_EQ(drafts["emails"][0]["date"], "2025-03-03T11:06:40+00:00");
    }
    agent.stop();
    std::istringstream log(agent.log());
    for (std::string line; std::getline(log, line);) {
        EXPECT_EQ(line.rfind("dev-agent: ", 0), 0u) << line;
        EXPECT_EQ(line.find("GLib"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace quillbrook::dev_agent
