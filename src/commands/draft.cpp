#include "commands/draft.h"

#include "commands/account_option.h"
#include "transport/agent_socket_client.h"
#include "transport/reply_draft.h"
#include "transport/response_rules.h"
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

void replyDraft(const Arguments& arguments) {
    ReplyRequest reply{
        .messageId = arguments.value("message-id"),
        .folder = arguments.value("folder"),
        .body = arguments.value("body"),
        .to = arguments.optional("to"),
        .subject = arguments.optional("subject"),
        .target = target(arguments),
        .account = arguments.optional("account"),
    };
    printResult(sendReplyDraft(AgentSocketClient(), reply).root());
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
                            {.name = "to",
                             .kind = ArgumentKind::option,
                             .help = "Recipient email address(es)",
                             .required = true},
                            {.name = "subject",
                             .kind = ArgumentKind::option,
                             .help = "Email subject",
                             .required = true},
                            {.name = "body", .kind = ArgumentKind::option, .help = "Email body", .required = true},
                            accountOption(),
                            {.name = "server",
                             .kind = ArgumentKind::flag,
                             .help = "Save to server Drafts (requires Server Drafts capability); default local"},
                        },
                    .run = createDraft,
                },
                {
                    .name = "reply",
                    .abstract = "Create a threaded reply draft to an existing message",
                    .arguments =
                        {
                            {.name = "message-id",
                             .kind = ArgumentKind::positional,
                             .help = "Message ID (UID) to reply to"},
                            {.name = "folder",
                             .kind = ArgumentKind::option,
                             .help = "Folder containing the original",
                             .defaultValue = kInboxFolder},
                            {.name = "body", .kind = ArgumentKind::option, .help = "Reply body", .required = true},
                            // These defaults are derived from the original, so only the help states them.
                            {.name = "to",
                             .kind = ArgumentKind::option,
                             .help = "Override recipient (default: original sender)"},
                            {.name = "subject",
                             .kind = ArgumentKind::option,
                             .help = "Override subject (default: Re: <original>)"},
                            accountOption(),
                            {.name = "server",
                             .kind = ArgumentKind::flag,
                             .help = "Save threaded reply to server Drafts (default local)"},
                        },
                    .run = replyDraft,
                },
            },
    };
}

}  // namespace quillbrook
