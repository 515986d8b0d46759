#include "dev_agent/maildir/drafts_folder.h"

#include <algorithm>
#include <vector>

#include "dev_agent/base/text.h"

namespace quillbrook::dev_agent {

namespace {

// The names servers give the drafts folder, in the languages their users
// choose, most common first.
constexpr std::string_view kDraftsNames[] = {
    "Drafts",    "Draft",    "Entwürfe", "Brouillons", "Borradores", "Bozze",         "Concepten",   "Rascunhos",
    "Utkast",    "Kladder",  "Kladd",    "Luonnokset", "Koncepty",   "Kopie robocze", "Piszkozatok", "Taslaklar",
    "Черновики", "Чернетки", "Πρόχειρα", "下書き",     "草稿",       "草稿箱",        "임시 보관함",
};

// Where a server keeps its drafts folder: at the top, below INBOX (servers that
// put every folder there), or below Gmail's folder of system labels.
constexpr std::string_view kDraftsParents[] = {"", "INBOX/", "[Gmail]/", "[Google Mail]/"};

constexpr std::string_view kDefaultDraftsName = "Drafts";

}  // namespace

DraftsFolder draftsFolderOf(const MaildirTree& tree, std::string_view configured) {
    if (!configured.empty()) {
        if (std::optional<MaildirFolder> found = findMaildirFolder(tree, configured)) {
            return {std::move(*found), true};
        }
        return {newMaildirFolder(tree, configured), false};
    }
    std::vector<MaildirFolder> folders = discoverMaildirFolders(tree);
    for (std::string_view name : kDraftsNames) {
        for (std::string_view parent : kDraftsParents) {
            std::string wanted = asciiLower(std::string(parent).append(name));
            auto found = std::find_if(folders.begin(), folders.end(),
                                      [&](const MaildirFolder& folder) { return asciiLower(folder.name) == wanted; });
            if (found != folders.end()) {
                return {std::move(*found), true};
            }
        }
    }
    return {newMaildirFolder(tree, kDefaultDraftsName), false};
}

}  // namespace quillbrook::dev_agent
