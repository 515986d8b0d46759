#include "commands/drafts.h"

#include "transport/run_socket.h"
#include "transport/socket_error.h"

namespace quillbrook {

namespace {

void listDrafts(const Arguments&) { runSocket("list_local_drafts", json::Value::object()); }

void draftStatus(const Arguments& arguments) {
    runSocket("read_local_draft", {{"draft_id", arguments.value("draft-id")}});
}

// The tool never deletes anything; the command stays so that users learn why.
void deleteDraft(const Arguments&) {
    throw CommandFailure(
        "Deleting drafts is not available from the CLI by design \u2014 Quillbrook never deletes. "
        "Remove drafts in the Quillbrook app or your main mail client.",
        ExitStatus::failure);
}

ArgumentDefinition draftIdArgument() {
    return {.name = "draft-id", .kind = ArgumentKind::positional, .help = "Draft ID"};
}

}  // namespace

CommandDefinition draftsCommand() {
    return {
        .name = "drafts",
        .abstract = "List and inspect local drafts",
        .children =
            {
                {.name = "list", .abstract = "List all local drafts", .run = listDrafts},
                {.name = "status",
                 .abstract = "Read a specific local draft (read_local_draft)",
                 .arguments = {draftIdArgument()},
                 .run = draftStatus},
                {.name = "delete",
                 .abstract = "(Removed) Deleting drafts is not available from the CLI by design",
                 .arguments = {draftIdArgument()},
                 .run = deleteDraft},
            },
    };
}

}  // namespace quillbrook
