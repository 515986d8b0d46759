#include "mcp/tool_catalogue.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace quillbrook {

namespace {

struct Argument {
    std::string_view name;
    std::string_view type;
    std::string_view description;
    bool required;
    std::string_view itemType = {};  // for an array: the type of its elements
    Era since = Era::legacy;         // a modern argument is neither offered nor honoured in legacy calls
};

// What a host may assume a call does, as the modern annotations say it.
struct Effects {
    bool readOnly;
    // The three below mean something only for a tool that writes, and are
    // written only for one.
    bool destructive = false;
    bool idempotent = false;
    bool openWorld = false;
};

constexpr Effects kReadsOnly{.readOnly = true};
// A draft waits for a person to review it: it replaces nothing, each call adds
// one more, and nothing leaves the agent, since nothing is sent.
constexpr Effects kWritesADraft{.readOnly = false, .destructive = false, .idempotent = false, .openWorld = false};

// One member of an agent's result as the output schema declares it. Nothing is
// required and further members are allowed: the result is the agent's, and a
// schema stricter than every agent would make clients refuse honest answers.
struct Member;

// The members of an array's objects. Not a span of Member inside Member: the
// libc++ of macOS needs a span's element type complete where it is declared.
struct MemberList {
    const Member* first = nullptr;
    std::size_t count = 0;
    constexpr MemberList() = default;
    template <std::size_t N>
    constexpr MemberList(const std::array<Member, N>& members) : first(members.data()), count(N) {}
};

struct Member {
    std::string_view name;
    std::string_view type;
    MemberList itemMembers = {};     // for an array of objects: their members
    std::string_view itemType = {};  // for an array of anything else: its type
};

struct Tool {
    std::string_view name;
    std::string_view action;  // what the agent calls it
    std::string_view title;   // for people; modern only
    std::string_view description;
    std::span<const Argument> arguments;  // in declaration order, which is also the order of "required"
    Effects effects;                      // modern only
    std::span<const Member> result;       // the output schema's members; modern only
    Era since = Era::legacy;              // a modern tool is unknown to legacy clients
    // What modern clients read instead of `description`, where a modern
    // argument changes what the tool does by default.
    std::string_view modernDescription = {};
};

// The schemas describe the arguments for the assistant; the server binds
// nothing to them. Defaults and limits live in the descriptions only.
constexpr Argument kAccount{"account", "string", "Email address of the account", true};
constexpr Argument kFolder{"folder", "string", "Folder name (default: INBOX)", false};

constexpr std::array kListFoldersArguments{kAccount};

constexpr std::array kListEmailsArguments{
    kAccount,
    kFolder,
    Argument{"limit", "number", "Max emails to return (default: 50, max: 200)", false},
};

constexpr std::array kReadEmailArguments{
    kAccount,
    Argument{"email_id", "string", "Email UID", true},
    kFolder,
    Argument{"include_html",
             "boolean",
             "Also return the HTML body (bodyHTML) when the plain text (body) has text (default: false; "
             "an email with only HTML always keeps it)",
             false,
             {},
             Era::modern},
    Argument{"max_chars",
             "integer",
             "Cut body and bodyHTML each to at most this many characters, with a note saying how many were left "
             "out (default: no limit)",
             false,
             {},
             Era::modern},
};

constexpr std::array kReplyDraftArguments{
    kAccount,
    Argument{"email_id", "string", "UID of the email to reply to", true},
    Argument{"folder", "string", "Folder containing the original (default: INBOX)", false},
    Argument{"body", "string", "Reply text (plain text); the original is quoted below it", true},
    Argument{"to", "string", "Override recipient (default: original sender)", false},
    Argument{"subject", "string", "Override subject (default: Re: <original subject>)", false},
    Argument{"target", "string", "'local' (default) or 'server'", false},
};

constexpr std::array kListDraftsArguments{
    Argument{"account", "string", "Email address (optional filter)", false},
};

constexpr std::array kCreateDraftArguments{
    Argument{"account", "string", "Email address of the account (optional; defaults to the active account)", false},
    Argument{"target", "string", "'local' (default) or 'server'", false},
    Argument{"to", "string", "Recipient email address(es)", true},
    Argument{"cc", "string", "CC recipients (comma-separated, optional)", false},
    Argument{"bcc", "string", "BCC recipients (comma-separated, optional)", false},
    Argument{"subject", "string", "Email subject", true},
    Argument{"body", "string", "Email body (plain text)", true},
    Argument{"bodyHTML", "string", "Email body (HTML). Optional.", false},
    Argument{"in_reply_to", "string", "Original message UID if this is a reply (threads via In-Reply-To)", false},
    Argument{"references", "array", "Reference message-ids for threading (server target only)", false, "string"},
};

constexpr std::array kReadDraftArguments{
    Argument{"draft_id", "string", "Draft UUID", true},
};

constexpr Member kStrings(std::string_view name) { return {name, "array", {}, "string"}; }

constexpr std::array kAccountMembers{
    Member{"email", "string"},
    Member{"name", "string"},
    Member{"isDefault", "boolean"},
};
constexpr std::array kListAccountsResult{Member{"accounts", "array", kAccountMembers}};

constexpr std::array kFolderMembers{
    Member{"name", "string"},
    Member{"total", "integer"},
    Member{"unread", "integer"},
};
constexpr std::array kListFoldersResult{Member{"account", "string"}, Member{"folders", "array", kFolderMembers}};

constexpr std::array kEmailSummaryMembers{
    Member{"uid", "string"},
    Member{"from", "string"},
    Member{"fromName", "string"},
    Member{"subject", "string"},
    Member{"date", "string"},
    Member{"snippet", "string"},
    kStrings("flags"),
    Member{"hasAttachments", "boolean"},
};
constexpr std::array kListEmailsResult{
    Member{"account", "string"},
    Member{"folder", "string"},
    Member{"total", "integer"},
    Member{"emails", "array", kEmailSummaryMembers},
};

constexpr std::array kAttachmentMembers{
    Member{"filename", "string"},
    Member{"contentType", "string"},
    Member{"size", "integer"},
};
constexpr std::array kReadEmailResult{
    Member{"uid", "string"},
    Member{"account", "string"},
    Member{"folder", "string"},
    Member{"from", "string"},
    Member{"fromName", "string"},
    Member{"to", "string"},
    Member{"cc", "string"},
    Member{"subject", "string"},
    Member{"date", "string"},
    Member{"body", "string"},
    Member{"bodyHTML", "string"},
    Member{"messageId", "string"},
    Member{"inReplyTo", "string"},
    kStrings("references"),
    kStrings("flags"),
    Member{"attachments", "array", kAttachmentMembers},
};

constexpr std::array kDraftSummaryMembers{
    Member{"id", "string"},      Member{"account", "string"},   Member{"to", "string"},
    Member{"subject", "string"}, Member{"createdAt", "string"}, Member{"inReplyTo", "string"},
    Member{"snippet", "string"},
};
constexpr std::array kListDraftsResult{Member{"drafts", "array", kDraftSummaryMembers}};

// A local draft as stored, and what a server draft comes back as.
constexpr std::array kDraftResult{
    Member{"id", "string"},           Member{"target", "string"},    Member{"account", "string"},
    Member{"from", "string"},         Member{"to", "string"},        Member{"cc", "string"},
    Member{"bcc", "string"},          Member{"subject", "string"},   Member{"body", "string"},
    Member{"bodyHTML", "string"},     Member{"createdAt", "string"}, Member{"inReplyTo", "string"},
    Member{"inReplyToUid", "string"}, kStrings("references"),        Member{"folder", "string"},
    Member{"uid", "string"},          Member{"messageId", "string"},
};

constexpr std::array kTools{
    Tool{"list_accounts",
         "list_accounts",
         "List email accounts",
         "List all configured email accounts",
         {},
         kReadsOnly,
         kListAccountsResult},
    Tool{"list_folders", "list_folders", "List folders", "List folders for an email account", kListFoldersArguments,
         kReadsOnly, kListFoldersResult},
    Tool{"list_emails", "list_emails", "List emails",
         "List emails in a folder (defaults to last 30 days, max 200 per request)", kListEmailsArguments, kReadsOnly,
         kListEmailsResult},
    Tool{"read_email", "read_email", "Read an email",
         "Read full content of a specific email. Returns both plain text (body) and HTML (bodyHTML) if available.",
         kReadEmailArguments, kReadsOnly, kReadEmailResult, Era::legacy,
         "Read full content of a specific email. Returns the plain text (body); the HTML (bodyHTML) only with "
         "include_html, or when the email has no plain text."},
    Tool{"list_drafts", "list_local_drafts", "List local drafts", "List all local drafts", kListDraftsArguments,
         kReadsOnly, kListDraftsResult},
    Tool{"create_draft", "create_draft", "Create a draft",
         "Compose an email as a reviewable draft in Quillbrook. Defaults to a LOCAL draft (target='local'); "
         "set target='server' to save to the server Drafts folder (requires Server Drafts capability). "
         "The sender is always the configured account \u2014 it cannot be chosen. "
         "Use for write/draft/reply requests.",
         kCreateDraftArguments, kWritesADraft, kDraftResult},
    Tool{"read_draft", "read_local_draft", "Read a local draft", "Read a specific local draft", kReadDraftArguments,
         kReadsOnly, kDraftResult},
    Tool{"reply_draft",
         {},
         "Draft a reply",
         "Draft a threaded reply to an email: your text above the quoted original, addressed to its sender, "
         "with 'Re:' and the threading headers. Defaults to a LOCAL draft (target='local'); set target='server' "
         "to save to the server Drafts folder. Nothing is sent: a person reviews the draft.",
         kReplyDraftArguments,
         kWritesADraft,
         kDraftResult,
         Era::modern},
};

bool offered(Era since, Era era) { return since == Era::legacy || era == Era::modern; }

json::Value inputSchema(std::span<const Argument> arguments, Era era) {
    json::Value properties = json::Value::object();
    json::Value required = json::Value::array();
    for (const Argument& argument : arguments) {
        if (!offered(argument.since, era)) {
            continue;
        }
        json::Value property = {{"type", argument.type}, {"description", argument.description}};
        if (!argument.itemType.empty()) {
            property["items"] = {{"type", argument.itemType}};
        }
        properties[std::string(argument.name)] = std::move(property);
        if (argument.required) {
            required.pushBack(argument.name);
        }
    }
    return {{"type", "object"}, {"properties", std::move(properties)}, {"required", std::move(required)}};
}

json::Value outputSchema(std::span<const Member> members) {
    json::Value properties = json::Value::object();
    for (const Member& member : members) {
        json::Value property = {{"type", member.type}};
        if (member.itemMembers.count != 0) {
            property["items"] = outputSchema(std::span(member.itemMembers.first, member.itemMembers.count));
        } else if (!member.itemType.empty()) {
            property["items"] = {{"type", member.itemType}};
        }
        properties[std::string(member.name)] = std::move(property);
    }
    return {{"type", "object"}, {"properties", std::move(properties)}};
}

json::Value annotations(const Effects& effects) {
    json::Value hints = {{"readOnlyHint", effects.readOnly}};
    if (!effects.readOnly) {
        hints["destructiveHint"] = effects.destructive;
        hints["idempotentHint"] = effects.idempotent;
        hints["openWorldHint"] = effects.openWorld;
    }
    return hints;
}

json::Value buildToolsListResult(Era era) {
    json::Value tools = json::Value::array();
    for (const Tool& tool : kTools) {
        if (!offered(tool.since, era)) {
            continue;
        }
        json::Value entry = {
            {"name", tool.name}, {"description", tool.description}, {"inputSchema", inputSchema(tool.arguments, era)}};
        if (era == Era::modern) {
            if (!tool.modernDescription.empty()) {
                entry["description"] = tool.modernDescription;
            }
            entry["title"] = tool.title;
            entry["annotations"] = annotations(tool.effects);
            entry["outputSchema"] = outputSchema(tool.result);
        }
        tools.pushBack(std::move(entry));
    }
    return {{"tools", std::move(tools)}};
}

}  // namespace

const json::Value& toolsListResult(Era era) {
    static const json::Value legacy = buildToolsListResult(Era::legacy);
    static const json::Value modern = buildToolsListResult(Era::modern);
    return era == Era::modern ? modern : legacy;
}

std::optional<std::string_view> toolAction(std::string_view tool) {
    for (const Tool& entry : kTools) {
        if (entry.name == tool && !entry.action.empty()) {
            return entry.action;
        }
    }
    return std::nullopt;
}

bool isOffered(std::string_view tool, Era era) {
    for (const Tool& entry : kTools) {
        if (entry.name == tool) {
            return offered(entry.since, era);
        }
    }
    return false;
}

std::vector<std::string_view> modernArguments(std::string_view tool) {
    std::vector<std::string_view> names;
    for (const Tool& entry : kTools) {
        if (entry.name != tool) {
            continue;
        }
        for (const Argument& argument : entry.arguments) {
            if (argument.since == Era::modern) {
                names.push_back(argument.name);
            }
        }
    }
    return names;
}

}  // namespace quillbrook
