#include "commands/messages.h"

#include "commands/account_option.h"
#include "transport/response_rules.h"
#include "transport/run_socket.h"

namespace quillbrook {

namespace {

void fetch(const Arguments& arguments) {
    json::Value params = {{"folder", arguments.value("folder")}, {"limit", arguments.integer("limit")}};
    addAccount(params, arguments);
    runSocket("list_emails", std::move(params));
}

void read(const Arguments& arguments) {
    json::Value params = {{"uid", arguments.value("message-id")}, {"folder", arguments.value("folder")}};
    addAccount(params, arguments);
    runSocket("read_email", std::move(params));
}

}  // namespace

CommandDefinition fetchCommand() {
    return {
        .name = "fetch",
        .abstract = "Fetch email messages (list_emails)",
        .arguments =
            {
                {.name = "folder",
                 .kind = ArgumentKind::option,
                 .help = "Folder to fetch from",
                 .defaultValue = kInboxFolder},
                {.name = "limit",
                 .kind = ArgumentKind::option,
                 .help = "Maximum number of messages to fetch",
                 .defaultValue = "50",
                 .integer = true},
                accountOption(),
            },
        .run = fetch,
    };
}

CommandDefinition readCommand() {
    return {
        .name = "read",
        .abstract = "Read a specific email message (read_email)",
        .arguments =
            {
                {.name = "message-id", .kind = ArgumentKind::positional, .help = "Message ID (UID)"},
                {.name = "folder",
                 .kind = ArgumentKind::option,
                 .help = "Folder containing the message",
                 .defaultValue = kInboxFolder},
                accountOption(),
            },
        .run = read,
    };
}

}  // namespace quillbrook
