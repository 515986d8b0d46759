#include "commands/account_option.h"

namespace quillbrook {

ArgumentDefinition accountOption() { return {"account", ArgumentKind::option, "Email account to use"}; }

void addAccount(json::Value& params, const Arguments& arguments) {
    if (auto account = arguments.optional("account")) {
        params["account"] = *account;
    }
}

}  // namespace quillbrook
