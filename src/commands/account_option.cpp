#include "commands/account_option.h"

namespace quillbrook {

ArgumentDefinition accountOption() {
    return {.name = "account", .kind = ArgumentKind::option, .help = "Email account to use"};
}

void addAccount(json::Value& params, const Arguments& arguments) {
    if (auto account = arguments.optional("account")) {
        params["account"] = *account;
    }
}

}  // namespace quillbrook
