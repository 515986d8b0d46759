#include "dev_agent/store/account_report.h"

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/maildir.h"

namespace quillbrook::dev_agent {

std::string describeAccount(const Account& account) {
    std::string text = "account " + account.email + "\n";
    if (!account.name.empty()) {
        text += "  name: " + account.name + "\n";
    }
    text += "  maildir: " + account.root + "\n";
    text += "  layout: " + std::string(nameOf(account.layout)) + "\n";
    text += "  folders: " +
            commaJoined(discoverMaildirFolders(account.root), [](const MaildirFolder& folder) { return folder.name; }) +
            "\n";
    text += "  drafts folder: " + (account.draftsFolder.empty() ? std::string("Drafts") : account.draftsFolder) + "\n";
    return text;
}

}  // namespace quillbrook::dev_agent
