// The names the assistant uses against the names the agent knows.

#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "mcp/tool_mapping.h"
#include "support/parsed_value.h"

namespace {

using namespace quillbrook;
namespace mapping = quillbrook::MCPToolMapping;

json::Value parsed(const char* text) { return test_support::parsedValue(text); }

TEST(McpSocketAction, NamesTheAgentActionOfEachTool) {
    const std::pair<const char*, const char*> tools[] = {
        {"list_accounts", "list_accounts"}, {"list_folders", "list_folders"},     {"list_emails", "list_emails"},
        {"read_email", "read_email"},       {"list_drafts", "list_local_drafts"}, {"read_draft", "read_local_draft"},
        {"create_draft", "create_draft"},
    };
    for (const auto& [tool, action] : tools) {
        EXPECT_EQ(mapping::socketAction(tool), std::optional<std::string>(action)) << tool;
    }
}

TEST(McpSocketAction, KnowsNoNameOutsideTheCatalogue) {
    for (const char* name :
         {"send_email", "delete_draft", "List_Accounts", "list_accounts ", "list_local_drafts", ""}) {
        EXPECT_FALSE(mapping::socketAction(name)) << name;  // names compare exactly; an agent action is not a tool
    }
}

TEST(McpSocketParams, PassesArgumentsOnExceptOffsetAndTheEmailIdRename) {
    struct Case {
        const char* tool;
        const char* arguments;
        const char* params;
    };
    const Case cases[] = {
        {"read_email", R"({"account":"a@x","email_id":"42"})", R"({"account":"a@x","uid":"42"})"},
        {"read_email", R"({"email_id":42,"uid":"7"})", R"({"uid":42})"},  // email_id wins, type kept
        {"read_email", R"({"uid":"7"})", R"({"uid":"7"})"},
        {"read_email", R"({"email_id":null})", R"({"uid":null})"},
        {"list_emails", R"({"email_id":"42"})", R"({"email_id":"42"})"},  // renamed for read_email only
        {"list_emails", R"({"limit":"10","offset":50})", R"({"limit":"10"})"},
        {"list_accounts", R"({"offset":null,"extra":[1]})", R"({"extra":[1]})"},
        {"create_draft", R"({"references":["<a@x>"],"target":"server","to":"b@y"})",
         R"({"references":["<a@x>"],"target":"server","to":"b@y"})"},
        {"create_draft", R"({"action":"send_email"})", R"({"action":"send_email"})"},  // the client overwrites it
        {"no_such_tool", R"({"offset":1,"email_id":"1"})", R"({"email_id":"1"})"},
        {"list_folders", R"({})", R"({})"},
        {"read_draft", R"([1,2])", R"({})"},  // anything but an object is no arguments
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mapping::socketParams(c.tool, parsed(c.arguments)), parsed(c.params)) << c.tool << " " << c.arguments;
    }
}

}  // namespace
