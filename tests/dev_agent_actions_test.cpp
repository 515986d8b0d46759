#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/maildir.h"
#include "dev_agent/mime/message_reader.h"
#include "dev_agent/protocol/actions.h"
#include "dev_agent/protocol/agent_error.h"
#include "dev_agent/protocol/protocol.h"
#include "dev_agent/store/sqlite.h"
#include "dev_agent_fixture.h"

namespace quillbrook::dev_agent {
namespace {

using dev_agent_test::filesIn;
using dev_agent_test::messageFilesIn;
using dev_agent_test::readFile;
// Requests and results as an independent parser reads them.
using Value = nlohmann::json;

// The actions over a private copy of the sample mailbox.
class Actions : public testing::Test {
protected:
    Actions() {
        dev_agent_test::copySampleMail(dir_.path() + "/mail");
        open();
    }

    // A fresh store over the same directories, as after a restart: the old
    // one ends first, as the state directory's lock has it in the agent.
    void open() {
        context_.reset();
        mail_.reset();
        mail_ = std::make_unique<MailStore>(
            std::vector<Account>{{"ada@example.com", "Ada Lindqvist", dir_.path() + "/mail/ada"},
                                 {"sam.okafor@example.org", "Sam Okafor", dir_.path() + "/mail/sam"}},
            dir_.path() + "/state");
        drafts_ = std::make_unique<LocalDraftStore>(dir_.path() + "/drafts");
        context_ = std::make_unique<ActionContext>(ActionContext{*mail_, *drafts_});
    }

    Value perform(const Value& request) {
        auto document = json::parseStrict(request.dump());
        json::Value result = performAction(*context_, request["action"].get<std::string>(), document->root());
        return Value::parse(json::writeCompactSorted(result).value());
    }

    // The answer line as the agent writes it, line feed included.
    std::string answer(const Value& request) { return answerRequest(*context_, request.dump()).line; }

    std::string errorCode(const Value& request) {
        try {
            perform(request);
        } catch (const AgentError& error) {
            return error.code();
        }
        return "ok";
    }

    std::string uidOf(const std::string& subject, const std::string& folder = "INBOX") {
        Value listed = perform({{"action", "list_emails"}, {"folder", folder}, {"limit", 200}});
        for (const auto& email : listed["emails"]) {
            if (email["subject"] == subject) {
                return email["uid"];
            }
        }
        ADD_FAILURE() << "no message " << subject;
        return "";
    }

    const std::string& root() const { return dir_.path(); }

private:
    dev_agent_test::TempDir dir_;
    std::unique_ptr<MailStore> mail_;
    std::unique_ptr<LocalDraftStore> drafts_;
    std::unique_ptr<ActionContext> context_;
};

struct BadRequestCase {
    const char* name;
    const char* request;
    const char* code;
};

class ActionErrors : public Actions, public testing::WithParamInterface<BadRequestCase> {};

TEST_P(ActionErrors, AnswerWithTheDefinedCode) {
    EXPECT_EQ(errorCode(Value::parse(GetParam().request)), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionErrors,
    testing::Values(
        BadRequestCase{"unknown_action", R"({"action":"send_email"})", "unknown_action"},
        BadRequestCase{"folders_need_account", R"({"action":"list_folders"})", "bad_request"},
        BadRequestCase{"unknown_account", R"({"action":"list_folders","account":"eve@example.com"})", "not_found"},
        BadRequestCase{"account_not_string", R"({"action":"list_emails","account":5})", "bad_request"},
        BadRequestCase{"limit_as_string", R"({"action":"list_emails","limit":"10"})", "bad_request"},
        BadRequestCase{"limit_fractional", R"({"action":"list_emails","limit":2.5})", "bad_request"},
        BadRequestCase{"folder_not_string", R"({"action":"list_emails","folder":["INBOX"]})", "bad_request"},
        BadRequestCase{"unknown_folder", R"({"action":"list_emails","folder":"Spam"})", "not_found"},
        BadRequestCase{"folder_outside_tree", R"({"action":"list_emails","folder":"../sam"})", "not_found"},
        BadRequestCase{"read_without_uid", R"({"action":"read_email","folder":"INBOX"})", "bad_request"},
        BadRequestCase{"uid_not_a_number", R"({"action":"read_email","uid":"12a"})", "bad_request"},
        BadRequestCase{"uid_boolean", R"({"action":"read_email","uid":true})", "bad_request"},
        BadRequestCase{"unknown_uid", R"({"action":"read_email","uid":"999"})", "not_found"},
        BadRequestCase{"draft_without_id", R"({"action":"read_local_draft"})", "bad_request"},
        BadRequestCase{"draft_id_path", R"({"action":"read_local_draft","draft_id":"../state/x"})", "not_found"},
        BadRequestCase{"unknown_draft",
                       R"({"action":"read_local_draft","draft_id":"0b5e4d1c-6a55-4d4e-9a43-0c5d0f4b2a11"})",
                       "not_found"},
        BadRequestCase{"create_without_to", R"({"action":"create_draft","subject":"s","body":"b"})", "bad_request"},
        BadRequestCase{"create_subject_number",
                       R"({"action":"create_draft","to":"a@b.example","subject":3,"body":"b"})", "bad_request"},
        BadRequestCase{"create_bad_address", R"({"action":"create_draft","to":"nobody","subject":"s","body":"b"})",
                       "bad_request"},
        BadRequestCase{"create_bad_cc",
                       R"({"action":"create_draft","to":"a@b.example","cc":"x","subject":"s","body":"b"})",
                       "bad_request"},
        BadRequestCase{"create_bad_target",
                       R"({"action":"create_draft","to":"a@b.example","subject":"s","body":"b","target":"outbox"})",
                       "bad_request"},
        BadRequestCase{"reply_to_unknown_uid",
                       R"({"action":"create_draft","to":"a@b.example","subject":"s","body":"b","in_reply_to":"999"})",
                       "not_found"},
        BadRequestCase{"references_not_array",
                       R"({"action":"create_draft","to":"a@b.example","subject":"s","body":"b","references":"<a@b>"})",
                       "bad_request"},
        BadRequestCase{"references_garbage",
                       R"({"action":"create_draft","to":"a@b.example","subject":"s","body":"b","references":["x y"]})",
                       "bad_request"}),
    [](const auto& info) { return info.param.name; });

TEST_F(Actions, UnknownNamesAreAnsweredWithTheNamesThatExist) {
    struct Case {
        Value request;
        const char* message;
    };
    const Case cases[] = {
        {{{"action", "send_email"}},
         "unknown action \"send_email\"; known actions: list_accounts, list_folders, list_emails, read_email, "
         "list_local_drafts, read_local_draft, create_draft"},
        {{{"action", "list_folders"}, {"account", "eve@example.com"}},
         "no account \"eve@example.com\"; accounts: ada@example.com, sam.okafor@example.org"},
        {{{"action", "list_emails"}, {"account", "sam.okafor@example.org"}, {"folder", "Spam"}},
         "no folder \"Spam\" in sam.okafor@example.org; folders: INBOX"},
    };
    for (const Case& c : cases) {
        try {
            perform(c.request);
            ADD_FAILURE() << c.request.dump() << " succeeded";
        } catch (const AgentError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
}

TEST_F(Actions, ListsAccountsInOrderWithTheFirstAsDefault) {
    Value accounts = perform({{"action", "list_accounts"}})["accounts"];
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0]["email"], "ada@example.com");
    EXPECT_EQ(accounts[0]["isDefault"], true);
    EXPECT_EQ(accounts[1]["isDefault"], false);
}

TEST_F(Actions, ListsNewestFirstAndClampsTheLimit) {
    Value inbox = perform({{"action", "list_emails"}, {"folder", "INBOX"}, {"limit", 1000}});
    ASSERT_EQ(inbox["emails"].size(), 10u);
    EXPECT_EQ(inbox["total"], 10);
    for (std::size_t i = 1; i < inbox["emails"].size(); ++i) {
        EXPECT_GT(inbox["emails"][i - 1]["date"].get<std::string>().substr(0, 10),
                  inbox["emails"][i]["date"].get<std::string>().substr(0, 10));
    }
    EXPECT_EQ(inbox["emails"][0]["subject"], "Lunch on Thursday?");
    EXPECT_EQ(perform({{"action", "list_emails"}, {"limit", 0}})["emails"].size(), 1u);
    EXPECT_EQ(perform({{"action", "list_emails"}, {"limit", -5}})["emails"].size(), 1u);
    EXPECT_EQ(perform({{"action", "list_emails"}})["emails"].size(), 10u);
    EXPECT_EQ(perform({{"action", "list_emails"}, {"limit", 3.0}})["emails"].size(), 3u);
    Value sam = perform({{"action", "list_emails"}, {"account", "SAM.OKAFOR@example.org"}});
    EXPECT_EQ(sam["emails"][0]["subject"], "Photos from Saturday 📷");
}

TEST_F(Actions, ReadPointsToTheFolderThatHoldsAUid) {
    std::string uid = uidOf("Welcome to Bluefern Analytics", "Archive");
    try {
        perform({{"action", "read_email"}, {"uid", uid}, {"folder", "INBOX"}});
        FAIL() << "read a message from the wrong folder";
    } catch (const AgentError& error) {
        EXPECT_EQ(error.code(), "not_found");
        EXPECT_NE(std::string(error.what()).find("it is in Archive"), std::string::npos) << error.what();
    }
    EXPECT_EQ(perform({{"action", "read_email"}, {"uid", std::stoull(uid)}, {"folder", "archive"}})["subject"],
              "Welcome to Bluefern Analytics");
}

TEST_F(Actions, UidsSurviveRestartsAndNewArrivalsTakeNewNumbers) {
    std::string budget = uidOf("Draft budget for the Harbour project");
    std::string lunch = uidOf("Lunch on Thursday?");
    // A message whose file name sorts before all others arrives while the agent is down.
    std::ofstream(root() + "/mail/ada/new/1000000000.M1P1.elsewhere")
        << "From: x@example.com\nSubject: Late arrival\nDate: Sat, 15 Mar 2025 08:00:00 +0000\n\nhi\n";
    open();
    EXPECT_EQ(uidOf("Draft budget for the Harbour project"), budget);
    EXPECT_EQ(uidOf("Lunch on Thursday?"), lunch);
    EXPECT_GT(std::stoull(uidOf("Late arrival")), std::stoull(lunch));
}

TEST_F(Actions, AFileStillWrittenInPlaceWhenTheStoreEndsIsReadWholeAfterTheRestart) {
    std::string lunch = uidOf("Lunch on Thursday?");
    std::ofstream writing(root() + "/mail/ada/new/1000000000.M1P1.elsewhere");
    perform({{"action", "list_emails"}});  // the file seen created, still empty
    writing << "From: x@example.com\nSubject: Late arrival\nDate: Sat, 15 Mar 2025 08:00:00 +0000\n\nhi\n";
    writing.close();
    open();
    EXPECT_GT(std::stoull(uidOf("Late arrival")), std::stoull(lunch));
}

TEST_F(Actions, ListsAFileWithoutHeaderByItsTextAndDeliveryTime) {
    std::ofstream(root() + "/mail/ada/cur/2000000000.M1P1.note:2,S") << "Just a note\n";
    Value listed = perform({{"action", "list_emails"}});
    EXPECT_EQ(listed["total"], 11);
    const Value& newest = listed["emails"][0];
    EXPECT_EQ(newest["subject"], "");
    EXPECT_EQ(newest["snippet"], "Just a note");
    EXPECT_EQ(newest["date"], "2033-05-18T03:33:20+00:00");
    EXPECT_EQ(perform({{"action", "read_email"}, {"uid", newest["uid"]}})["body"], "Just a note\n");
}

TEST_F(Actions, ServerReplyDraftIsAThreadedMessageInDrafts) {
    std::string parent = uidOf("Re: Draft budget for the Harbour project");
    Value result = perform({{"action", "create_draft"},
                            {"to", "Jonas Berg <jonas.berg@example.com>"},
                            {"subject", "Re: Draft budget for the Harbour project"},
                            {"body", "Agreed — send it.\n"},
                            {"target", "server"},
                            {"in_reply_to", parent},
                            {"references", {parent}}});
    EXPECT_EQ(result["folder"], "Drafts");
    std::vector<std::string> files = messageFilesIn(root() + "/mail/ada/.Drafts/cur");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].ends_with(":2,DS")) << files[0] << ": saved as a draft, and read";
    ParsedMessage draft = readMessage(readFile(files[0]));
    EXPECT_EQ(draft.from, "ada@example.com");
    EXPECT_EQ(draft.fromName, "Ada Lindqvist");
    EXPECT_EQ(draft.body, "Agreed — send it.\n");
    EXPECT_EQ(draft.inReplyTo, "<budget-harbour-3@example.com>");
    EXPECT_EQ(draft.references,
              (std::vector<std::string>{"<budget-harbour-1@example.com>", "<reply-budget-harbour-2@example.com>",
                                        "<budget-harbour-3@example.com>"}));
    EXPECT_EQ(draft.messageId, result["messageId"].get<std::string>());
    EXPECT_EQ(uidOf("Re: Draft budget for the Harbour project", "Drafts"), result["uid"].get<std::string>());
    EXPECT_TRUE(filesIn(root() + "/mail/ada/.Drafts/tmp").empty());
}

TEST_F(Actions, AServerDraftHoldingNulIsRefusedNamingTheFieldAndNothingIsSaved) {
    for (const char* field : {"to", "cc", "bcc", "subject", "body", "bodyHTML"}) {
        Value request = {{"action", "create_draft"},
                         {"to", "bo@example.org"},
                         {"subject", "Plans"},
                         {"body", "See you."},
                         {"target", "server"}};
        request[field] = std::string("bo@example.org") + '\0' + "x";
        try {
            perform(request);
            ADD_FAILURE() << field << ": accepted";
        } catch (const AgentError& error) {
            EXPECT_EQ(error.code(), "bad_request") << field;
            EXPECT_EQ(std::string(error.what()),
                      std::string("\"").append(field).append("\" holds U+0000, which a server draft cannot carry"));
        }
    }
    EXPECT_TRUE(messageFilesIn(root() + "/mail/ada/.Drafts/cur").empty());
    Value local = perform(
        {{"action", "create_draft"}, {"to", "bo@example.org"}, {"subject", "Plans"}, {"body", std::string("a\0b", 3)}});
    EXPECT_EQ(perform({{"action", "read_local_draft"}, {"draft_id", local["id"]}})["body"], std::string("a\0b", 3));
}

TEST_F(Actions, ServerDraftCreatesAMissingDraftsFolder) {
    perform({{"action", "create_draft"},
             {"account", "sam.okafor@example.org"},
             {"to", "tomas.ruiz@example.net"},
             {"subject", "Photos"},
             {"body", "Thanks!"},
             {"target", "server"}});
    EXPECT_EQ(messageFilesIn(root() + "/mail/sam/.Drafts/cur").size(), 1u);
    EXPECT_EQ(perform({{"action", "list_folders"}, {"account", "sam.okafor@example.org"}})["folders"][1]["name"],
              "Drafts");
}

TEST_F(Actions, LocalDraftsPersistAndFilterByAccount) {
    std::string parent = uidOf("Server migration window on Saturday");
    Value created = perform({{"action", "create_draft"},
                             {"to", "jonas.berg@example.com"},
                             {"subject", "Re: Server migration window on Saturday"},
                             {"body", "The export list is attached to the ticket."},
                             {"in_reply_to", parent}});
    EXPECT_EQ(created["target"], "local");
    EXPECT_EQ(created["inReplyTo"], "<20250303091200.4f2a@example.com>");
    perform({{"action", "create_draft"},
             {"account", "sam.okafor@example.org"},
             {"to", "lena@paddle-club.example"},
             {"subject", "Beginners' course"},
             {"body", "Count me in."}});
    open();
    Value all = perform({{"action", "list_local_drafts"}})["drafts"];
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["subject"], "Beginners' course") << "newest first";
    Value ada = perform({{"action", "list_local_drafts"}, {"account", "ada@example.com"}})["drafts"];
    ASSERT_EQ(ada.size(), 1u);
    EXPECT_EQ(ada[0]["id"], created["id"]);
    Value read = perform({{"action", "read_local_draft"}, {"draft_id", created["id"]}});
    EXPECT_EQ(read["body"], "The export list is attached to the ticket.");
    EXPECT_EQ(read["from"], "Ada Lindqvist <ada@example.com>");
    EXPECT_EQ(errorCode({{"action", "list_local_drafts"}, {"account", "eve@example.com"}}), "not_found");
}

}  // namespace
}  // namespace quillbrook::dev_agent

namespace quillbrook::dev_agent {
namespace {

// A message of ada's INBOX; `header` holds its header lines but the Date,
// each ending in a line feed.
void deliver(const std::string& root, const std::string& name, const std::string& header, const std::string& body) {
    std::ofstream(root + "/mail/ada/cur/" + name + ":2,S", std::ios::binary) << "Date: Mon, 7 Dec 2026 10:00:00 +0000\n"
                                                                             << header << "\n"
                                                                             << body;
}

// A local draft file as the agent writes them, created `index` seconds into
// 2026, its subject "Plans <index>" and `padding`.
void writeDraft(const std::string& root, int index, const std::string& body, const std::string& padding = "") {
    char id[40];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", index);
    char createdAt[40];
    std::snprintf(createdAt, sizeof createdAt, "2026-01-01T%02d:%02d:%02d.000Z", index / 3600, index / 60 % 60,
                  index % 60);
    Value draft = {{"id", id},
                   {"account", "ada@example.com"},
                   {"to", "bo@example.org"},
                   {"subject", "Plans " + std::to_string(index) + padding},
                   {"body", body},
                   {"createdAt", createdAt}};
    std::ofstream(root + "/drafts/" + id + ".json") << draft.dump() << "\n";
}

std::string addressList(std::size_t count) {
    std::string list;
    for (std::size_t i = 0; i < count; ++i) {
        list += (i == 0 ? "" : ", ") + std::string("person") + std::to_string(i) + "@example.org";
    }
    return list;
}

bool isCut(const Value& text) { return text.get<std::string>().ends_with(kCutNote); }

struct LargeAnswerCase {
    const char* name;
    // Fills the mailbox or the drafts under the root; returns the request.
    std::function<Value(const std::string& root)> prepare;
    std::function<void(const Value& result, const std::string& root)> check;
};

class LargeAnswers : public Actions, public testing::WithParamInterface<LargeAnswerCase> {};

// Every answer fits the line a client accepts, whatever the mail or the
// drafts hold: texts cut with the note, lists that grow cut and said so.
TEST_P(LargeAnswers, FitTheLineAClientAccepts) {
    Value request = GetParam().prepare(root());
    if (request.contains("read")) {  // a read_email of the message with this subject
        request = {{"action", "read_email"}, {"uid", uidOf(request["read"])}};
    }
    std::string line = answer(request);
    EXPECT_LE(line.size(), kMaxAnswerBytes + 1);
    Value parsed = Value::parse(line);
    ASSERT_EQ(parsed["ok"], true) << line.substr(0, 300);
    GetParam().check(parsed["result"], root());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeAnswers,
    testing::Values(
        LargeAnswerCase{"list_emails_of_long_subjects_and_senders",
                        [](const std::string& root) {
                            for (int i = 0; i < 60; ++i) {
                                deliver(root, "17500000" + std::to_string(10 + i) + ".M1P1.big",
                                        "Subject: " + std::string(22000, 's') + "\nFrom: \"" + std::string(22000, 'n') +
                                            "\" <big@example.com>\n",
                                        "hi\n");
                            }
                            return Value{{"action", "list_emails"}, {"limit", 200}};
                        },
                        [](const Value& result, const std::string&) {
                            ASSERT_EQ(result["emails"].size(), 70u);
                            EXPECT_TRUE(isCut(result["emails"][0]["subject"]));
                            EXPECT_TRUE(isCut(result["emails"][0]["fromName"]));
                            EXPECT_EQ(result["emails"][69]["subject"], "Server migration window on Saturday");
                        }},
        LargeAnswerCase{"read_email_of_huge_addresses_references_and_attachment_names",
                        [](const std::string& root) {
                            std::string references = "References:";
                            for (int i = 0; i < 60000; ++i) {
                                references += " <ref" + std::to_string(i) + "@example.org>";
                            }
                            std::string body = "--b\nContent-Type: text/plain\n\nThe text.\n";
                            for (int i = 0; i < 60; ++i) {
                                body +=
                                    "--b\nContent-Type: application/pdf\nContent-Disposition: attachment; "
                                    "filename=\"" +
                                    std::string(20000, 'f') + ".pdf\"\n\nxx\n";
                            }
                            deliver(root, "1750000000.M1P1.huge",
                                    "From: x@example.com\nSubject: huge\nTo: " + addressList(70000) + "\n" +
                                        references + "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n",
                                    body + "--b--\n");
                            return Value{{"read", "huge"}};
                        },
                        [](const Value& result, const std::string&) {
                            EXPECT_TRUE(isCut(result["to"]));
                            EXPECT_EQ(result["body"], "The text.");
                            EXPECT_EQ(result["attachments"].size(), 60u);
                            EXPECT_EQ(result["references"][0], "<ref0@example.org>");
                            EXPECT_EQ(result.value("referencesOmitted", 0u) + result["references"].size(), 60000u);
                        }},
        LargeAnswerCase{"read_email_of_a_body_of_quotes",
                        [](const std::string& root) {
                            deliver(root, "1750000000.M1P1.quotes", "From: x@example.com\nSubject: quotes\n",
                                    std::string(1200000, '"'));
                            return Value{{"read", "quotes"}};
                        },
                        [](const Value& result, const std::string&) {
                            EXPECT_TRUE(isCut(result["body"]));
                            EXPECT_GT(result["body"].get<std::string>().size(), 500000u);
                        }},
        LargeAnswerCase{"create_draft_of_a_body_near_the_request_limit",
                        [](const std::string&) {
                            return Value{{"action", "create_draft"},
                                         {"to", "bo@example.org"},
                                         {"subject", "Long"},
                                         {"body", std::string(kMaxRequestBytes - 200, 'b')}};
                        },
                        [](const Value& result, const std::string& root) {
                            EXPECT_EQ(result["target"], "local");
                            EXPECT_TRUE(isCut(result["body"]));
                            Value saved =
                                Value::parse(readFile(root + "/drafts/" + result["id"].get<std::string>() + ".json"));
                            EXPECT_EQ(saved["body"], std::string(kMaxRequestBytes - 200, 'b'));
                        }},
        LargeAnswerCase{
            "read_local_draft_near_the_limit",
            [](const std::string& root) {
                writeDraft(root, 1, std::string(kMaxAnswerBytes, '\n'));
                return Value{{"action", "read_local_draft"}, {"draft_id", "00000000-0000-4000-8000-000000000001"}};
            },
            [](const Value& result, const std::string&) {
                EXPECT_TRUE(isCut(result["body"]));
                EXPECT_EQ(result["subject"], "Plans 1");
            }},
        LargeAnswerCase{"list_local_drafts_past_the_line",
                        [](const std::string& root) {
                            // Too many to list even with their texts cut short.
                            for (int i = 0; i < 1200; ++i) {
                                writeDraft(root, i, "See you on Thursday.", std::string(800, '.'));
                            }
                            return Value{{"action", "list_local_drafts"}};
                        },
                        [](const Value& result, const std::string&) {
                            ASSERT_GT(result["drafts"].size(), 900u);
                            EXPECT_EQ(result["drafts"].size() + result["draftsOmitted"].get<std::size_t>(), 1200u);
                            EXPECT_EQ(result["drafts"][0]["subject"], "Plans 1199" + std::string(800, '.'));
                        }}),
    [](const testing::TestParamInfo<LargeAnswerCase>& info) { return std::string(info.param.name); });

// An answer that fits is written as it always was: nothing added.
TEST_F(Actions, AnAnswerThatFitsSaysNothingOfCuts) {
    for (const char* action : {"list_local_drafts", "list_emails"}) {
        EXPECT_EQ(answer({{"action", action}}).find("Omitted"), std::string::npos) << action;
    }
}

// The disk of the state directory full (here: every write to the index
// refused) after the draft was delivered: the caller hears of a failure, so
// no draft may stay behind, however often the caller tries again.
TEST_F(Actions, AServerDraftTheIndexCannotNumberLeavesNoFileBehind) {
    perform({{"action", "list_folders"}, {"account", "ada@example.com"}});
    sqlite::Database index(root() + "/state/index.sqlite");
    sqlite::Statement tables = index.prepare("SELECT name FROM sqlite_master WHERE type = 'table'");
    std::vector<std::string> names;
    for (sqlite::Query query(tables); query.step();) {
        names.push_back(query.text(0));
    }
    for (const std::string& table : names) {
        for (const char* change : {"INSERT", "UPDATE"}) {
            std::string trigger = "CREATE TRIGGER full_" + std::string(change) + "_" + table + " BEFORE " + change +
                                  " ON " + table + " BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END";
            index.execute(trigger.c_str());
        }
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string line = answer({{"action", "create_draft"},
                                   {"to", "bo@example.org"},
                                   {"subject", "Plans"},
                                   {"body", "See you."},
                                   {"target", "server"}});
        EXPECT_NE(line.find("database or disk is full"), std::string::npos) << line;
    }
    EXPECT_TRUE(messageFilesIn(root() + "/mail/ada/.Drafts/cur").empty());
}

}  // namespace
}  // namespace quillbrook::dev_agent
