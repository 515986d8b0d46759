#include "commands/command_tree.h"

#include "commands/accounts.h"
#include "commands/draft.h"
#include "commands/drafts.h"
#include "commands/mcp.h"
#include "commands/messages.h"

namespace quillbrook {

CommandDefinition commandTree() {
    return {
        .name = "quillbrook-cli",
        .abstract = "Quillbrook CLI \u2014 thin client over the Quillbrook agent socket",
        .children = {accountsCommand(), fetchCommand(), readCommand(), draftCommand(), draftsCommand(), mcpCommand()},
    };
}

}  // namespace quillbrook
