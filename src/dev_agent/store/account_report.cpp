#include "dev_agent/store/account_report.h"

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/drafts_folder.h"

namespace quillbrook::dev_agent {

std::string describeAccount(const Account& account) {
    std::string text = "account " + account.email + "\n";
    if (!account.name.empty()) {
        text += "  name: " + account.name + "\n";
    }
    text += "  maildir: " + account.root + "\n";
    MaildirTree tree = treeOf(account);
    const char* how = account.layout == MaildirLayout::detect ? " (found)" : " (named)";
    text += "  layout: " + std::string(nameOf(layoutOf(tree))) + how + "\n";
    text += "  folders: " +
            commaJoined(discoverMaildirFolders(tree), [](const MaildirFolder& folder) { return folder.name; }) + "\n";
    DraftsFolder drafts = draftsFolderOf(tree, account.draftsFolder);
    text += "  drafts folder: " + drafts.folder.name + (drafts.exists ? "" : " (made with the first draft)") + "\n";
    return text;
}

}  // namespace quillbrook::dev_agent
