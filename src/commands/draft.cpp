#include "commands/draft.h"

#include "commands/account_option.h"
#include "commands/reply_composer.h"
#include "transport/agent_socket_client.h"
#include "transport/run_socket.h"

namespace quillbrook {

namespace {

const char* target(const Arguments& arguments) { return arguments.flag("server") ? "server" : "local"; }

void createDraft(const Arguments& arguments) {
    json::Value params = {
        {"subject", arguments.value("subject")},
        {"body", arguments.value("body")},
        {"to", arguments.value("to")},
        {"target", target(arguments)},
    };
    addAccount(params, arguments);
    runSocket("create_draft", std::move(params));
}

json::Value replyParams(const Arguments& arguments, json::View original) {
    RepliedMessage message = repliedMessage(original);
    const std::string& messageId = arguments.value("message-id");
    json::Value params = {
        {"subject", arguments.optional("subject").value_or(replySubject(message.subject))},
        {"body", replyBody(arguments.value("body"), message)},
        {"to", arguments.optional("to").value_or(message.from)},
        {"target", target(arguments)},
        {"in_reply_to", messageId},
    };
    if (arguments.flag("server")) {
        params["references"] = json::Value::array({messageId});
    }
    addAccount(params, arguments);
    return params;
}

void replyDraft(const Arguments& arguments) {
    AgentSocketClient client;
    json::Value readParams = {{"uid", arguments.value("message-id")}, {"folder", arguments.value("folder")}};
    addAccount(readParams, arguments);
    json::Document original = client.send("read_email", std::move(readParams));
    json::Document created = client.send("create_draft", replyParams(arguments, original.root()));
    printResult(created.root());
}

}  // namespace

CommandDefinition draftCommand() {
    return {
        .name = "draft",
        .abstract = "Create reply/new drafts",
        .children =
            {
                {
                    .name = "create",
                    .abstract = "Create a new draft (local by default; --server for server drafts)",
                    .arguments =
                        {
                            {"to", ArgumentKind::option, "Recipient email address(es)", true},
                            {"subject", ArgumentKind::option, "Email subject", true},
                            {"body", ArgumentKind::option, "Email body", true},
                            accountOption(),
                            {"server", ArgumentKind::flag,
                             "Save to server Drafts (requires Server Drafts capability); default local"},
                        },
                    .run = createDraft,
                },
                {
                    .name = "reply",
                    .abstract = "Create a threaded reply draft to an existing message",
                    .arguments =
                        {
                            {"message-id", ArgumentKind::positional, "Message ID (UID) to reply to", true},
                            {"folder", ArgumentKind::option, "Folder containing the original (default: INBOX)", false,
                             "INBOX"},
                            {"body", ArgumentKind::option, "Reply body", true},
                            {"to", ArgumentKind::option, "Override recipient (default: original sender)"},
                            {"subject", ArgumentKind::option, "Override subject (default: Re: <original>)"},
                            accountOption(),
                            {"server", ArgumentKind::flag, "Save threaded reply to server Drafts (default local)"},
                        },
                    .run = replyDraft,
                },
            },
    };
}

}  // namespace quillbrook
