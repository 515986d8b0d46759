#include "commands/messages.h"

#include "commands/account_option.h"
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
                {"folder", ArgumentKind::option, "Folder to fetch from (default: INBOX)", false, "INBOX"},
                {"limit", ArgumentKind::option, "Maximum number of messages to fetch", false, "50", true},
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
                {"message-id", ArgumentKind::positional, "Message ID (UID)", true},
                {"folder", ArgumentKind::option, "Folder containing the message (default: INBOX)", false, "INBOX"},
                accountOption(),
            },
        .run = read,
    };
}

}  // namespace quillbrook
