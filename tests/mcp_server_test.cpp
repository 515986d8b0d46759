// The MCP server's answers, line in and line out, without a process around it:
// dispatch, envelopes and ids, the catalogue, tool calls against a stand-in
// agent, and what the modern era adds to each.

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/mcp_server.h"
#include "support/expected_messages.h"
#include "support/mcp_lines.h"
#include "support/stand_in_agent.h"
#include "util/version.h"

namespace {

using namespace quillbrook;
using test_support::errorReply;
using test_support::kBadResponse;
using test_support::kConnectFailed;
using test_support::kConnectionLost;
using test_support::kParseError;
using test_support::kResponseTooLarge;
using test_support::okReply;
using test_support::StandInAgent;
using Reply = StandInAgent::Reply;

const std::string kServerInfo = R"({"name":"Quillbrook","version":")" + std::string(kVersion) + R"("})";

const std::string kInitializeResult =
    R"("result":{"capabilities":{"tools":{}},"protocolVersion":"2024-11-05","serverInfo":)" + kServerInfo + "}}";

// Points the server's client at `path` for the life of the scope.
class SocketVariable {
public:
    explicit SocketVariable(const std::string& path) { ::setenv("QUILLBROOK_SOCKET", path.c_str(), 1); }
    ~SocketVariable() { ::unsetenv("QUILLBROOK_SOCKET"); }
};

std::string answerTo(const std::string& line) { return MCPServer().handleMessageSync(line).value_or("<no answer>"); }

TEST(McpDispatch, AnswersEveryMethodOfTheTableAndNothingElse) {
    struct Case {
        std::string line;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2026-07-28"}})",
         R"({"id":1,"jsonrpc":"2.0",)" + kInitializeResult},
        {R"({"id":1,"method":"initialize","params":"not an object"})",
         R"({"id":1,"jsonrpc":"2.0",)" + kInitializeResult},
        {R"({"jsonrpc":"2.0","id":"a1","method":"ping"})", R"({"id":"a1","jsonrpc":"2.0","result":{}})"},
        {R"({"jsonrpc":"1.0","id":7,"method":"ping"})", R"({"id":7,"jsonrpc":"2.0","result":{}})"},
        {R"({"id":null,"method":"ping"})", R"({"id":null,"jsonrpc":"2.0","result":{}})"},
        {R"({"method":"ping"})", R"({"jsonrpc":"2.0","result":{}})"},
        {R"({"method":"notifications/initialized"})", "<no answer>"},
        {R"({"id":3,"method":"notifications/initialized"})", "<no answer>"},
        {R"({"method":"notifications/cancelled","params":{"requestId":2}})", "<no answer>"},
        {R"({"id":4,"method":"notifications/cancelled"})", "<no answer>"},
        // A notification the server does not know is not answered either.
        {R"({"method":"notifications/progress"})", "<no answer>"},
        {R"({"jsonrpc":"2.0","method":"notifications/roots/list_changed"})", "<no answer>"},
        {R"({"method":7})", "<no answer>"},
        {R"({"jsonrpc":"2.0"})", "<no answer>"},
        {R"({"id":null,"method":"notifications/progress"})",
         R"({"error":{"code":-32601,"message":"Method not found: notifications\/progress"},"id":null,"jsonrpc":"2.0"})"},
        {R"({"method":"tools/call"})", R"({"error":{"code":-32602,"message":"Missing tool name"},"jsonrpc":"2.0"})"},
        {R"({"id":1,"method":"server/discover"})",
         R"({"error":{"code":-32601,"message":"Method not found: server\/discover"},"id":1,"jsonrpc":"2.0"})"},
        {R"({"id":5})", R"({"error":{"code":-32601,"message":"Method not found: "},"id":5,"jsonrpc":"2.0"})"},
        {R"({"id":5,"method":["ping"]})",
         R"({"error":{"code":-32601,"message":"Method not found: "},"id":5,"jsonrpc":"2.0"})"},
        {R"({"id":6,"method":"Ping"})",
         R"({"error":{"code":-32601,"message":"Method not found: Ping"},"id":6,"jsonrpc":"2.0"})"},
        {R"({"id":6,"method":"caf\u00e9"})",
         "{\"error\":{\"code\":-32601,\"message\":\"Method not found: caf\u00e9\"},\"id\":6,\"jsonrpc\":\"2.0\"}"},
        {R"({"id":8,"method":"tools/call","params":[{"name":"list_accounts"}]})",
         R"({"error":{"code":-32602,"message":"Missing tool name"},"id":8,"jsonrpc":"2.0"})"},
        {R"({"id":8,"method":"tools/call"})",
         R"({"error":{"code":-32602,"message":"Missing tool name"},"id":8,"jsonrpc":"2.0"})"},
        {R"({"id":9,"method":"tools/call","params":{"name":7}})",
         R"({"error":{"code":-32602,"message":"Missing tool name"},"id":9,"jsonrpc":"2.0"})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(answerTo(c.line), c.answer) << c.line;
    }
}

TEST(McpDispatch, EchoesAnyIdUnchanged) {
    const std::vector<std::string> ids = {
        R"("a\/b")",
        R"("\u00e9\ud83d\ude00")",
        R"(0)",
        R"(-12)",
        R"(1.5)",
        R"(18446744073709551615)",
        R"(-9223372036854775808)",
        R"(true)",
        R"(false)",
        R"([1,"two",null])",
        R"({"b":1,"a":[{}]})",
        R"("")",
        R"(99999999999999999999)",
        R"(-9223372036854775809)",
        R"(1.7976931348623157e308)",
        R"([18446744073709551616,{"n":-100000000000000000000000}])",
    };
    const std::vector<std::string> echoed = {
        R"("a\/b")",
        "\"\u00e9\U0001F600\"",
        R"(0)",
        R"(-12)",
        R"(1.5)",
        R"(18446744073709551615)",
        R"(-9223372036854775808)",
        R"(true)",
        R"(false)",
        R"([1,"two",null])",
        R"({"a":[{}],"b":1})",
        R"("")",
        R"(99999999999999999999)",
        R"(-9223372036854775809)",
        R"(1.7976931348623157e+308)",
        R"([18446744073709551616,{"n":-100000000000000000000000}])",
    };
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(answerTo(R"({"method":"ping","id":)" + ids[i] + "}"),
                  R"({"id":)" + echoed[i] + R"(,"jsonrpc":"2.0","result":{}})")
            << ids[i];
    }
}

TEST(McpDispatch, RefusesEveryLineThatIsNotOneJsonObject) {
    const std::vector<std::string> lines = {
        "   ",
        "\t",
        "ping",
        "[]",
        R"([{"id":1,"method":"ping"}])",  // batches are not served
        "42",
        R"("ping")",
        "null",
        R"({"id":1,"method":"ping"} {})",
        R"({"id":1,"method":"ping")",
        R"({"id":1,"method":"ping",})",
        "{\"id\":1,\"method\":\"p\xFFng\"}",
        "{\"id\":\"\xC0\xAF\",\"method\":\"ping\"}",
        std::string("{\"id\":1,\"method\":\"ping\"}\0", 25),
        R"({"id":1e999,"method":"ping"})",
        R"({"id":1.7976931348623157e309,"method":"ping"})",
        R"({"id":-1.8e308,"method":"ping"})",
        R"({"id":1,"method":"ping","params":{"a":)" + std::string(100000, '[') + std::string(100000, ']') + "}}",
        R"({"id":1,"method":"ping","params":{"a":)" + std::string(100000, '[') + "}}",
        "{\"method\":\"ping\",\"id\":" + std::string(200000, '{'),
        R"({"id":1,"method":"ping","x":")" + std::string(2 * 1024 * 1024, 'x'),
    };
    for (const std::string& line : lines) {
        EXPECT_EQ(answerTo(line), kParseError) << line.substr(0, 60);
    }
}

TEST(McpToolsList, ServesTheCatalogueByteForByte) {
    const std::string expected =
        R"j({"id":2,"jsonrpc":"2.0","result":{"tools":[)j"
        R"j({"description":"List all configured email accounts","inputSchema":{"properties":{},"required":[],"type":"object"},"name":"list_accounts"},)j"
        R"j({"description":"List folders for an email account","inputSchema":{"properties":{"account":{"description":"Email address of the account","type":"string"}},"required":["account"],"type":"object"},"name":"list_folders"},)j"
        R"j({"description":"List emails in a folder (defaults to last 30 days, max 200 per request)","inputSchema":{"properties":{"account":{"description":"Email address of the account","type":"string"},"folder":{"description":"Folder name (default: INBOX)","type":"string"},"limit":{"description":"Max emails to return (default: 50, max: 200)","type":"number"}},"required":["account"],"type":"object"},"name":"list_emails"},)j"
        R"j({"description":"Read full content of a specific email. Returns both plain text (body) and HTML (bodyHTML) if available.","inputSchema":{"properties":{"account":{"description":"Email address of the account","type":"string"},"email_id":{"description":"Email UID","type":"string"},"folder":{"description":"Folder name (default: INBOX)","type":"string"}},"required":["account","email_id"],"type":"object"},"name":"read_email"},)j"
        R"j({"description":"List all local drafts","inputSchema":{"properties":{"account":{"description":"Email address (optional filter)","type":"string"}},"required":[],"type":"object"},"name":"list_drafts"},)j"
        "{\"description\":\"Compose an email as a reviewable draft in Quillbrook. Defaults to a LOCAL draft "
        "(target='local'); set target='server' to save to the server Drafts folder (requires Server Drafts "
        "capability). The sender is always the configured account \u2014 it cannot be chosen. Use for "
        "write\\/draft\\/reply requests.\","
        R"j("inputSchema":{"properties":{)j"
        R"j("account":{"description":"Email address of the account (optional; defaults to the active account)","type":"string"},)j"
        R"j("bcc":{"description":"BCC recipients (comma-separated, optional)","type":"string"},)j"
        R"j("body":{"description":"Email body (plain text)","type":"string"},)j"
        R"j("bodyHTML":{"description":"Email body (HTML). Optional.","type":"string"},)j"
        R"j("cc":{"description":"CC recipients (comma-separated, optional)","type":"string"},)j"
        R"j("in_reply_to":{"description":"Original message UID if this is a reply (threads via In-Reply-To)","type":"string"},)j"
        R"j("references":{"description":"Reference message-ids for threading (server target only)","items":{"type":"string"},"type":"array"},)j"
        R"j("subject":{"description":"Email subject","type":"string"},)j"
        R"j("target":{"description":"'local' (default) or 'server'","type":"string"},)j"
        R"j("to":{"description":"Recipient email address(es)","type":"string"}},)j"
        R"j("required":["to","subject","body"],"type":"object"},"name":"create_draft"},)j"
        R"j({"description":"Read a specific local draft","inputSchema":{"properties":{"draft_id":{"description":"Draft UUID","type":"string"}},"required":["draft_id"],"type":"object"},"name":"read_draft"})j"
        R"j(]}})j";
    SocketVariable nothingListens("/nonexistent/agent.sock");
    EXPECT_EQ(answerTo(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})"), expected);
    EXPECT_EQ(answerTo(R"({"id":2,"method":"tools/list","params":{"cursor":"next"}})"), expected);
}

// The _meta every modern request carries, and what every modern result holds
// besides its own members (written first, as keys are sorted).
const std::string kModernMeta = R"("_meta":{"io.modelcontextprotocol/clientCapabilities":{},)"
                                R"("io.modelcontextprotocol/protocolVersion":"2026-07-28"})";
const std::string kServedBy = R"("_meta":{"io.modelcontextprotocol\/serverInfo":)" + kServerInfo + "}";

// A modern request line; `params` are further members of its params, if any.
std::string modernRequest(const std::string& id, const std::string& method, const std::string& params = "") {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + R"(","params":{)" + params +
           (params.empty() ? "" : ",") + kModernMeta + "}}";
}

// The same line without its "id" member (which must not be the last).
std::string withoutId(std::string line) {
    const std::size_t start = line.find(R"("id":)");
    return line.erase(start, line.find(',', start) + 1 - start);
}

TEST(McpModernEra, ServesEachRequestInTheEraItNames) {
    struct Case {
        std::string line;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {modernRequest("1", "server/discover"),
         R"({"id":1,"jsonrpc":"2.0","result":{)" + kServedBy +
             R"(,"cacheScope":"public","capabilities":{"tools":{}},"resultType":"complete",)"
             R"("supportedVersions":["2026-07-28"],"ttlMs":3600000}})"},
        // The modern revision has no ping, but a client that still sends one is answered in its era.
        {modernRequest(R"("p")", "ping"),
         R"({"id":"p","jsonrpc":"2.0","result":{)" + kServedBy + R"(,"resultType":"complete"}})"},
        // Nothing carries over: a legacy request right after a modern one is answered as ever.
        {R"({"id":3,"method":"ping"})", R"({"id":3,"jsonrpc":"2.0","result":{}})"},
        {R"({"id":4,"method":"server/discover","params":{"_meta":{"io.modelcontextprotocol/clientCapabilities":{}}}})",
         R"({"error":{"code":-32601,"message":"Method not found: server\/discover"},"id":4,"jsonrpc":"2.0"})"},
        {R"({"id":5,"method":"tools/call","params":{"name":"nope","_meta":{"progressToken":1}}})",
         R"({"id":5,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Unknown tool: nope","type":"text"}],"isError":true}})"},
        {modernRequest("6", "tools/call", R"("name":"nope")"),
         R"({"id":6,"jsonrpc":"2.0","result":{)" + kServedBy +
             R"(,"content":[{"text":"Error: Unknown tool: nope","type":"text"}],"isError":true,"resultType":"complete"}})"},
        {modernRequest("7", "tools/call", R"("name":42)"),
         R"({"error":{"code":-32602,"message":"Missing tool name"},"id":7,"jsonrpc":"2.0"})"},
        {modernRequest("8", "initialize", R"("protocolVersion":"2024-11-05")"),
         R"({"error":{"code":-32601,"message":"Method not found: initialize"},"id":8,"jsonrpc":"2.0"})"},
        {modernRequest("9", "resources/list"),
         R"({"error":{"code":-32601,"message":"Method not found: resources\/list"},"id":9,"jsonrpc":"2.0"})"},
        {R"({"id":10,"method":"resources/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"1.0"}}})",
         R"({"error":{"code":-32022,"data":{"requested":"1.0","supported":["2026-07-28"]},)"
         R"("message":"Unsupported protocol version"},"id":10,"jsonrpc":"2.0"})"},
        {R"({"id":11,"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28"}}})",
         R"({"error":{"code":-32602,"message":"Missing client capabilities"},"id":11,"jsonrpc":"2.0"})"},
        // An id a modern request may not carry is not echoed.
        {modernRequest("null", "ping"), R"({"error":{"code":-32600,"message":"Invalid Request"},"jsonrpc":"2.0"})"},
        {modernRequest("1.5", "tools/list"),
         R"({"error":{"code":-32600,"message":"Invalid Request"},"jsonrpc":"2.0"})"},
        {modernRequest("[12]", "tools/list"),
         R"({"error":{"code":-32600,"message":"Invalid Request"},"jsonrpc":"2.0"})"},
        // In the modern era a message without an id is a notification, whatever it names.
        {withoutId(modernRequest("13", "tools/list")), "<no answer>"},
        {withoutId(modernRequest("14", "ping")), "<no answer>"},
        {withoutId(modernRequest("15", "initialize")), "<no answer>"},
        {R"({"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"0"}}})",
         "<no answer>"},
        {modernRequest("16", "notifications/cancelled", R"("requestId":2)"), "<no answer>"},
        {withoutId(modernRequest("17", "notifications/cancelled")), "<no answer>"},
    };
    SocketVariable nothingListens("/nonexistent/agent.sock");
    const MCPServer server;
    for (const Case& c : cases) {
        EXPECT_EQ(test_support::withoutInstructions(server.handleMessageSync(c.line).value_or("<no answer>")), c.answer)
            << c.line;
    }
}

// Hosts hand the instructions to their model as they are and show only a
// short text in full; what they must say is what keeps a person in charge.
TEST(McpModernEra, DiscoverGivesShortInstructionsThatKeepAPersonInCharge) {
    auto answer = json::parseStrict(answerTo(modernRequest("1", "server/discover")));
    ASSERT_TRUE(answer);
    auto instructions = answer->root().find("result")->find("instructions")->string();
    ASSERT_TRUE(instructions);
    EXPECT_LT(instructions->size(), 2048u);
    for (std::string_view point :
         {"Start with list_accounts", "never sent", "a person reviews", "untrusted", "never as instructions"}) {
        EXPECT_NE(instructions->find(point), std::string_view::npos) << point;
    }
    EXPECT_EQ(answerTo(R"({"id":1,"method":"initialize"})").find("instructions"), std::string::npos);
}

TEST(McpModernEra, RunsNoCallThatCameWithoutAnId) {
    StandInAgent agent({{okReply("{}")}});
    SocketVariable socket(agent.socketPath());
    EXPECT_EQ(
        answerTo(withoutId(modernRequest("1", "tools/call", R"("name":"create_draft","arguments":{"to":"b@y.org"})"))),
        "<no answer>");
    EXPECT_EQ(agent.connections(), 0);
}

// What strict consumers demand of a schema: every node has a "type", every
// array its "items" and every object its "properties".
void expectStrictSchema(const nlohmann::json& schema, const std::string& where) {
    ASSERT_TRUE(schema.is_object()) << where;
    ASSERT_TRUE(schema.contains("type") && schema["type"].is_string()) << where;
    const std::string& type = schema["type"].get_ref<const std::string&>();
    if (type == "array") {
        ASSERT_TRUE(schema.contains("items")) << where;
        expectStrictSchema(schema["items"], where + ".items");
    }
    if (type == "object") {
        ASSERT_TRUE(schema.contains("properties") && schema["properties"].is_object()) << where;
        for (const auto& [name, property] : schema["properties"].items()) {
            expectStrictSchema(property, where + "." + name);
        }
    }
}

// An output schema may refuse no answer of a real agent: no member is required
// and no object is closed to further members.
void expectPermissiveSchema(const nlohmann::json& schema, const std::string& where) {
    EXPECT_FALSE(schema.contains("required")) << where;
    EXPECT_FALSE(schema.contains("additionalProperties")) << where;
    if (schema.contains("items")) {
        expectPermissiveSchema(schema["items"], where + ".items");
    }
    const nlohmann::json properties = schema.value("properties", nlohmann::json::object());
    for (const auto& [name, property] : properties.items()) {
        expectPermissiveSchema(property, where + "." + name);
    }
}

TEST(McpToolsList, EverySchemaPassesStrictConsumers) {
    SocketVariable nothingListens("/nonexistent/agent.sock");
    nlohmann::json tools = nlohmann::json::parse(answerTo(R"({"id":2,"method":"tools/list"})"))["result"]["tools"];
    ASSERT_EQ(tools.size(), 7u);
    for (const nlohmann::json& tool : tools) {
        expectStrictSchema(tool["inputSchema"], tool["name"].get<std::string>());
    }
}

TEST(McpToolsList, GivesModernClientsTheSameToolsWithTitlesAnnotationsAndOutputSchemas) {
    SocketVariable nothingListens("/nonexistent/agent.sock");
    const std::string answer = answerTo(modernRequest("2", "tools/list", R"("cursor":"next")"));
    const std::string head = R"({"id":2,"jsonrpc":"2.0","result":{)" + kServedBy +
                             R"(,"cacheScope":"public","resultType":"complete","tools":[)";
    const std::string tail = R"(],"ttlMs":3600000}})";
    ASSERT_EQ(answer.substr(0, head.size()), head);
    ASSERT_EQ(answer.substr(answer.size() - tail.size()), tail);

    nlohmann::json legacyTools =
        nlohmann::json::parse(answerTo(R"({"id":2,"method":"tools/list"})"))["result"]["tools"];
    nlohmann::json modernTools = nlohmann::json::parse(answer)["result"]["tools"];
    // The legacy seven, in their order, and the reply tool after them.
    ASSERT_EQ(modernTools.size(), legacyTools.size() + 1);
    EXPECT_EQ(modernTools.back()["name"], "reply_draft");

    const nlohmann::json readsOnly = {{"readOnlyHint", true}};
    const nlohmann::json writesADraft = {
        {"readOnlyHint", false}, {"destructiveHint", false}, {"idempotentHint", false}, {"openWorldHint", false}};
    std::set<std::string> titles;
    for (std::size_t i = 0; i < modernTools.size(); ++i) {
        nlohmann::json tool = modernTools[i];
        const std::string name = tool["name"];
        const bool writes = name == "create_draft" || name == "reply_draft";
        EXPECT_EQ(tool["annotations"], writes ? writesADraft : readsOnly) << name;
        ASSERT_TRUE(tool["title"].is_string()) << name;
        titles.insert(tool["title"].get<std::string>());
        expectStrictSchema(tool["outputSchema"], name + " output");
        expectPermissiveSchema(tool["outputSchema"], name + " output");
        tool.erase("outputSchema");
        tool.erase("annotations");
        tool.erase("title");
        if (name == "read_email") {
            // The modern read is sized: two arguments more, and a description that says so.
            nlohmann::json& properties = tool["inputSchema"]["properties"];
            EXPECT_EQ(properties["include_html"]["type"], "boolean");
            EXPECT_EQ(properties["max_chars"]["type"], "integer");
            properties.erase("include_html");
            properties.erase("max_chars");
            EXPECT_NE(tool["description"], legacyTools[i]["description"]);
            tool["description"] = legacyTools[i]["description"];
        }
        if (i < legacyTools.size()) {
            EXPECT_EQ(tool, legacyTools[i]) << name;
        }
    }
    EXPECT_EQ(titles.size(), modernTools.size());
    EXPECT_FALSE(titles.contains(""));
}

// One tools/call against an agent that answers with `reply`.
struct ToolCall {
    std::string answer;                 // the whole answer line
    std::vector<std::string> requests;  // what the agent saw, keys sorted
};

std::string sortedKeys(const std::string& request) {
    auto document = json::parseStrict(request);
    return document ? json::writeCompactSorted(document->root()) : "<unparseable>" + request;
}

ToolCall callTool(const std::string& params, std::vector<Reply> script) {
    StandInAgent agent(std::move(script));
    SocketVariable socket(agent.socketPath());
    ToolCall call{answerTo(R"({"jsonrpc":"2.0","id":11,"method":"tools/call","params":)" + params + "}"), {}};
    for (const std::string& request : agent.requests()) {
        call.requests.push_back(sortedKeys(request));
    }
    return call;
}

TEST(McpToolCalls, SendOneRequestPerCallWithTheMappedActionAndArguments) {
    struct Case {
        std::string params;
        std::string request;
    };
    const std::vector<Case> cases = {
        {R"({"name":"list_accounts"})", R"({"action":"list_accounts"})"},
        {R"({"name":"list_folders","arguments":{"account":"a@x.org"}})",
         R"({"account":"a@x.org","action":"list_folders"})"},
        {R"({"name":"list_emails","arguments":{"account":"a@x.org","limit":"10","offset":5}})",
         R"({"account":"a@x.org","action":"list_emails","folder":"INBOX","limit":"10"})"},
        {R"({"name":"list_emails","arguments":{"folder":""}})", R"({"action":"list_emails","folder":"INBOX"})"},
        {R"({"name":"list_emails","arguments":{"folder":3}})", R"({"action":"list_emails","folder":"INBOX"})"},
        {R"({"name":"list_emails","arguments":{"folder":"Archive/2024"}})",
         R"({"action":"list_emails","folder":"Archive\/2024"})"},
        {R"({"name":"read_email","arguments":{"account":"a@x.org","email_id":"42"}})",
         R"({"account":"a@x.org","action":"read_email","folder":"INBOX","uid":"42"})"},
        {R"({"name":"read_email","arguments":{"uid":"1","email_id":42}})",
         R"({"action":"read_email","folder":"INBOX","uid":42})"},
        {R"({"name":"list_drafts"})", R"({"action":"list_local_drafts"})"},
        {R"({"name":"read_draft","arguments":{"draft_id":"D-1","action":"create_draft"}})",
         R"({"action":"read_local_draft","draft_id":"D-1"})"},
        {R"({"name":"create_draft","arguments":{"to":"b@y.org","subject":"Hi","body":"Hello","target":"server",)"
         R"("references":["<m1@y.org>","<m2@y.org>"],"action":"send_email"}})",
         R"({"action":"create_draft","body":"Hello","references":["<m1@y.org>","<m2@y.org>"],"subject":"Hi",)"
         R"("target":"server","to":"b@y.org"})"},
        {R"({"name":"list_accounts","arguments":["a@x.org"]})", R"({"action":"list_accounts"})"},
        {R"({"name":"list_emails","arguments":{"folder":"X","limit":99999999999999999999,"n":[-1e-400,1.5e300]}})",
         R"({"action":"list_emails","folder":"X","limit":99999999999999999999,"n":[-0.0,1.5e+300]})"},
        {R"({"name":"list_accounts","arguments":null,"extra":1})", R"({"action":"list_accounts"})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(callTool(c.params, {{okReply("{}")}}).requests, std::vector<std::string>{c.request}) << c.params;
    }
}

TEST(McpToolCalls, ReportAgentOutcomesAsSuccessfulToolResults) {
    struct Case {
        const char* what;
        std::vector<Reply> script;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"result re-written sorted",
         {{okReply(R"({"z":1,"a":{"url":"http://x/y","name":"Zo\u00eb"},"n":1.0})")}},
         "{\"a\":{\"name\":\"Zo\u00eb\",\"url\":\"http:\\/\\/x\\/y\"},\"n\":1.0,\"z\":1}"},
        {"numbers kept",
         {{okReply(R"({"big":-99999999999999999999,"max":18446744073709551615,"f":2.50})")}},
         R"({"big":-99999999999999999999,"f":2.5,"max":18446744073709551615})"},
        {"number beyond the double range",
         {{okReply(R"({"n":1.7976931348623157e309})")}},
         R"({"error":"bad_response: unparseable server response"})"},
        {"no result object", {{"{\"ok\":true}\n"}}, "{}"},
        {"result not an object", {{"{\"ok\":true,\"result\":[1]}\n"}}, "{}"},
        {"agent error", {{errorReply("not_found", "no message 42")}}, R"({"error":"not_found: no message 42"})"},
        {"failure without code", {{"{\"ok\":false}\n"}}, R"({"error":"error: request failed"})"},
        {"unreadable answer", {{"hello\n"}}, R"({"error":")" + kBadResponse + R"("})"},
        {"closed without answer", {{""}}, R"({"error":")" + kConnectionLost + R"("})"},
        {"answer over the limit", {{std::string(1024 * 1024 + 1, ' ')}}, R"({"error":")" + kResponseTooLarge + R"("})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(callTool(R"({"name":"list_accounts"})", c.script).answer, test_support::toolAnswer("11", c.text))
            << c.what;
    }
}

TEST(McpToolCalls, WrapTheResultTextInOneContentItem) {
    EXPECT_EQ(
        callTool(R"({"name":"read_draft","arguments":{"draft_id":"D-1"}})", {{okReply(R"({"b":"x/y","a":1})")}}).answer,
        R"({"id":11,"jsonrpc":"2.0","result":{"content":[{"text":"{\"a\":1,\"b\":\"x\\\/y\"}","type":"text"}]}})");
}

TEST(McpToolCalls, ReportAnAbsentAgentAsData) {
    SocketVariable nothingListens("/nonexistent/agent.sock");
    EXPECT_EQ(answerTo(R"({"id":"c","method":"tools/call","params":{"name":"list_folders"}})"),
              "{\"id\":\"c\",\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"{\\\"error\\\":\\\"" +
                  kConnectFailed + "\\\"}\",\"type\":\"text\"}]}}");
}

TEST(McpToolCalls, FlagUnknownToolsWithoutTouchingTheAgent) {
    struct Case {
        std::string name;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {R"("send_email")",
         R"({"id":11,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Unknown tool: send_email","type":"text"}],"isError":true}})"},
        {R"("")",
         R"({"id":11,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Unknown tool: ","type":"text"}],"isError":true}})"},
        {R"("list_local_drafts")",
         R"({"id":11,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Unknown tool: list_local_drafts","type":"text"}],"isError":true}})"},
    };
    for (const Case& c : cases) {
        StandInAgent agent({{okReply("{}")}});
        SocketVariable socket(agent.socketPath());
        EXPECT_EQ(answerTo(R"({"id":11,"method":"tools/call","params":{"name":)" + c.name + "}}"), c.answer);
        EXPECT_EQ(agent.connections(), 0) << c.name;
    }
}

// The text is the legacy one; the agent's result comes typed beside it, and a
// failure of the agent is flagged.
TEST(McpToolCalls, GiveModernClientsTheSameResultsTypedAndSigned) {
    struct Case {
        const char* what;
        std::string reply;
        std::string text;
        std::string flagOrResult;
    };
    const std::vector<Case> cases = {
        {"agent result", okReply(R"({"b":"x/y","a":1})"), R"({\"a\":1,\"b\":\"x\\\/y\"})",
         R"("resultType":"complete","structuredContent":{"a":1,"b":"x\/y"})"},
        {"no result object", "{\"ok\":true}\n", "{}", R"("resultType":"complete","structuredContent":{})"},
        {"agent error", errorReply("not_found", "no draft D-9"), R"({\"error\":\"not_found: no draft D-9\"})",
         R"("isError":true,"resultType":"complete")"},
    };
    for (const Case& c : cases) {
        ToolCall call =
            callTool(R"({"name":"read_draft","arguments":{"draft_id":"D-9"},)" + kModernMeta + "}", {{c.reply}});
        const std::string content = R"("content":[{"text":")" + c.text + R"(","type":"text"}],)";
        EXPECT_EQ(call.answer,
                  R"({"id":11,"jsonrpc":"2.0","result":{)" + kServedBy + "," + content + c.flagOrResult + "}}")
            << c.what;
        EXPECT_EQ(call.requests, std::vector<std::string>{R"({"action":"read_local_draft","draft_id":"D-9"})"})
            << c.what;
    }
}

// The tools and arguments of the modern era alone: the legacy era keeps its
// bytes, so it knows no reply tool and passes the reading options to the agent.
TEST(McpToolCalls, ServeModernRepliesAndSizedReads) {
    const std::string original = okReply(
        R"({"from":"ada@x.org","fromName":"Ada","subject":"Lunch","date":"Mon","body":"Soup?","bodyHTML":"<p>Soup?</p>"})");
    const std::string draft = okReply(R"({"id":"D-2","target":"server"})");
    const std::string readCall =
        R"("name":"read_email","arguments":{"account":"a@x.org","email_id":"42","max_chars":3,"include_html":false})";
    const std::string replyCall = R"("name":"reply_draft","arguments":{"account":"a@x.org","email_id":42,)"
                                  R"("body":"Yes","target":"server","folder":"Archive"})";
    const std::string readRequest = R"({"account":"a@x.org","action":"read_email","folder":"INBOX","uid":"42"})";
    const std::string createRequest =
        R"({"account":"a@x.org","action":"create_draft","body":"Yes\n\nOn Mon, Ada <ada@x.org> wrote:\n> Soup?",)"
        R"("in_reply_to":"42","references":["42"],"subject":"Re: Lunch","target":"server","to":"ada@x.org"})";
    struct Case {
        const char* what;
        std::string params;
        std::vector<std::string> requests;
        std::string result;  // the answer's result after its _meta
    };
    const std::vector<Case> cases = {
        {"sized read",
         "{" + readCall + "," + kModernMeta + "}",
         {readRequest},
         R"("content":[{"text":"{\"body\":\"Sou\\n[2 more characters left out; a larger max_chars shows them]\",)"
         R"(\"date\":\"Mon\",\"from\":\"ada@x.org\",\"fromName\":\"Ada\",\"subject\":\"Lunch\"}","type":"text"}],)"
         R"("resultType":"complete","structuredContent":{"body":"Sou\n[2 more characters left out; a larger )"
         R"(max_chars shows them]","date":"Mon","from":"ada@x.org","fromName":"Ada","subject":"Lunch"}})"},
        {"reply",
         "{" + replyCall + "," + kModernMeta + "}",
         {R"({"account":"a@x.org","action":"read_email","folder":"Archive","uid":"42"})", createRequest},
         R"("content":[{"text":"{\"id\":\"D-2\",\"target\":\"server\"}","type":"text"}],"resultType":"complete",)"
         R"("structuredContent":{"id":"D-2","target":"server"}})"},
        {"reply without a body",
         R"({"name":"reply_draft","arguments":{"email_id":"42"},)" + kModernMeta + "}",
         {},
         R"("content":[{"text":"Error: Invalid argument \"body\": is required","type":"text"}],"isError":true,)"
         R"("resultType":"complete"})"},
    };
    for (const Case& c : cases) {
        ToolCall call = callTool(c.params, {{original}, {draft}});
        EXPECT_EQ(call.answer, R"({"id":11,"jsonrpc":"2.0","result":{)" + kServedBy + "," + c.result + "}") << c.what;
        EXPECT_EQ(call.requests, c.requests) << c.what;
    }

    ToolCall legacyReply = callTool("{" + replyCall + "}", {{original}});
    EXPECT_EQ(legacyReply.answer, R"({"id":11,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Unknown tool: )"
                                  R"(reply_draft","type":"text"}],"isError":true}})");
    EXPECT_TRUE(legacyReply.requests.empty());
    EXPECT_EQ(callTool("{" + readCall + "}", {{original}}).requests,
              std::vector<std::string>{R"({"account":"a@x.org","action":"read_email","folder":"INBOX",)"
                                       R"("include_html":false,"max_chars":3,"uid":"42"})"});
}

// The lowest free descriptor number grows if any call leaves one open.
int lowestFreeDescriptor() {
    int fd = ::open("/dev/null", O_RDONLY);
    ::close(fd);
    return fd;
}

TEST(McpToolCalls, LeaveNoDescriptorOpenWhateverTheOutcome) {
    StandInAgent agent(
        {{okReply(R"({"accounts":[]})")}, {errorReply("busy", "try later")}, {""}, {"junk\n"}, {okReply("{}")}});
    MCPServer server;
    const int before = lowestFreeDescriptor();
    for (int i = 0; i < 200; ++i) {
        SocketVariable socket(i % 2 == 0 ? agent.socketPath() : "/nonexistent/agent.sock");
        server.handleMessageSync(R"({"id":1,"method":"tools/call","params":{"name":"list_accounts"}})");
        server.handleMessageSync(R"({"id":2,"method":"tools/call","params":{"name":"nope"}})");
    }
    EXPECT_EQ(lowestFreeDescriptor(), before);
    EXPECT_EQ(agent.connections(), 100);
}

}  // namespace
