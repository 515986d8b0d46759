#include "dev_agent/maildir/folder_tree.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/modified_utf7.h"

namespace quillbrook::dev_agent {

namespace {

namespace fs = std::filesystem;

// How a layout spells a folder on disk.
struct LayoutSpelling {
    MaildirLayout layout;
    std::string_view prefix;  // before a top-level folder's name: ".Archive"
    char separator;           // between the levels of a nested name: ".Lists.Rust", "Lists/Rust"
    int depth;                // how many directory levels below the root folders lie
    bool inboxIsRoot;
};

constexpr LayoutSpelling kSpellings[] = {
    {MaildirLayout::maildirPlusPlus, ".", '.', 1, true},
    {MaildirLayout::verbatim, "", '/', kMaxFolderDepth, false},
    {MaildirLayout::dotted, "", '.', 1, false},
};

const LayoutSpelling& spellingOf(MaildirLayout layout) {
    for (const auto& spelling : kSpellings) {
        if (spelling.layout == layout) {
            return spelling;
        }
    }
    return kSpellings[0];
}

// The directories of a Maildir folder itself, never folders of their own.
constexpr std::string_view kMessageDirectories[] = {"cur", "new", "tmp"};

bool isMessageDirectory(std::string_view name) {
    return std::find(std::begin(kMessageDirectories), std::end(kMessageDirectories), name) !=
           std::end(kMessageDirectories);
}

// A Maildir found below the root: its path and its place as spelt on disk
// ("Lists/Rust", ".Lists.Rust").
struct FoundFolder {
    std::string relative;
    std::string path;
};

bool isInside(const fs::path& path, const std::string& canonicalRoot) {
    std::error_code error;
    std::string target = fs::canonical(path, error).string();
    return !error && target.size() > canonicalRoot.size() && target.starts_with(canonicalRoot) &&
           target[canonicalRoot.size()] == '/';
}

// Walks the directories below `path` that the spelling admits as folders or as
// the way to folders. A link counts only when it leads to a directory inside
// the tree, and is never walked through: no cycle, no way out.
void walk(const LayoutSpelling& spelling, const std::string& canonicalRoot, const std::string& path,
          const std::string& relative, int depthLeft, std::vector<FoundFolder>& found) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) {
        std::string name = entry.path().filename().string();
        std::string_view prefix = relative.empty() ? spelling.prefix : std::string_view();
        if (!name.starts_with(prefix) || name.size() == prefix.size() || name[prefix.size()] == '.' ||
            isMessageDirectory(name)) {
            continue;
        }
        std::error_code typeError;
        if (!entry.is_directory(typeError)) {
            continue;
        }
        bool isLink = entry.is_symlink(typeError);
        if (isLink && !isInside(entry.path(), canonicalRoot)) {
            continue;
        }
        std::string childPath = path + "/" + name;
        std::string childRelative = relative.empty() ? name : relative + "/" + name;
        if (isMaildir(childPath)) {
            found.push_back({childRelative, childPath});
        }
        if (depthLeft > 1 && !isLink) {
            walk(spelling, canonicalRoot, childPath, childRelative, depthLeft - 1, found);
        }
    }
}

std::vector<FoundFolder> foldersSpelt(const LayoutSpelling& spelling, const std::string& root) {
    std::error_code error;
    fs::path canonical = fs::canonical(root, error);
    std::vector<FoundFolder> found;
    if (!error) {
        walk(spelling, canonical.string(), root, "", spelling.depth, found);
    }
    return found;
}

// The server's name as stored on disk (modified UTF-7, levels joined by "/").
std::string storedNameOf(const LayoutSpelling& spelling, std::string_view relative) {
    std::string stored(relative.substr(spelling.prefix.size()));
    std::replace(stored.begin(), stored.end(), spelling.separator, '/');
    return stored;
}

bool isInboxName(std::string_view level) { return asciiLower(level) == "inbox"; }

std::string firstLevel(std::string_view name) { return std::string(name.substr(0, name.find('/'))); }

MaildirFolder folderNamed(std::string stored, std::string path) {
    std::string shown = decodeModifiedUtf7(stored);
    return {shown, std::move(path), shown == stored ? std::string() : std::move(stored)};
}

// What detection goes by.
struct TreeShape {
    bool rootIsMaildir = false;
    bool dotFolders = false;     // ".Archive/cur" beside the root's cur/
    bool nestedFolders = false;  // "Lists/Rust/cur"
    bool dottedNames = false;    // "Lists.Rust/cur" at the top
    bool plainFolders = false;   // "Archive/cur"
};

struct DetectionRule {
    bool (*fits)(const TreeShape&);
    MaildirLayout layout;
};

// The first rule that fits names the layout.
constexpr DetectionRule kDetectionRules[] = {
    {[](const TreeShape& shape) { return shape.rootIsMaildir && shape.dotFolders; }, MaildirLayout::maildirPlusPlus},
    {[](const TreeShape& shape) { return shape.nestedFolders; }, MaildirLayout::verbatim},
    {[](const TreeShape& shape) { return shape.dottedNames; }, MaildirLayout::dotted},
    {[](const TreeShape& shape) { return shape.plainFolders; }, MaildirLayout::verbatim},
    {[](const TreeShape& shape) { return shape.rootIsMaildir; }, MaildirLayout::maildirPlusPlus},
};

}  // namespace

std::optional<MaildirLayout> detectMaildirLayout(const std::string& root) {
    TreeShape shape;
    shape.rootIsMaildir = isMaildir(root);
    shape.dotFolders = !foldersSpelt(spellingOf(MaildirLayout::maildirPlusPlus), root).empty();
    for (const auto& folder : foldersSpelt(spellingOf(MaildirLayout::verbatim), root)) {
        shape.plainFolders = true;
        shape.nestedFolders = shape.nestedFolders || folder.relative.find('/') != std::string::npos;
        shape.dottedNames = shape.dottedNames || folder.relative.find('.') != std::string::npos;
    }
    for (const auto& rule : kDetectionRules) {
        if (rule.fits(shape)) {
            return rule.layout;
        }
    }
    return std::nullopt;
}

MaildirLayout layoutOf(const MaildirTree& tree) {
    if (tree.layout != MaildirLayout::detect) {
        return tree.layout;
    }
    return detectMaildirLayout(tree.root).value_or(MaildirLayout::maildirPlusPlus);
}

std::vector<MaildirFolder> discoverMaildirFolders(const MaildirTree& tree) {
    const LayoutSpelling& spelling = spellingOf(layoutOf(tree));
    std::vector<FoundFolder> found = foldersSpelt(spelling, tree.root);
    std::sort(found.begin(), found.end(),
              [](const FoundFolder& a, const FoundFolder& b) { return a.relative < b.relative; });
    std::optional<MaildirFolder> inbox;
    if (spelling.inboxIsRoot || isMaildir(tree.root)) {
        inbox = MaildirFolder{"INBOX", tree.root, ""};
    }
    // A top-level INBOX folder goes before the root; its subfolders are INBOX's.
    std::string inboxLevel;
    if (!spelling.inboxIsRoot) {
        for (const auto& folder : found) {
            if (folder.relative.find('/') == std::string::npos &&
                isInboxName(storedNameOf(spelling, folder.relative))) {
                inboxLevel = firstLevel(storedNameOf(spelling, folder.relative));
                inbox = MaildirFolder{"INBOX", folder.path, ""};
                break;
            }
        }
    }
    std::vector<MaildirFolder> others;
    for (auto& folder : found) {
        std::string stored = storedNameOf(spelling, folder.relative);
        if (!inboxLevel.empty() && firstLevel(stored) == inboxLevel) {
            if (stored == inboxLevel) {
                continue;
            }
            stored = "INBOX" + stored.substr(inboxLevel.size());
        }
        others.push_back(folderNamed(std::move(stored), std::move(folder.path)));
    }
    std::sort(others.begin(), others.end(),
              [](const MaildirFolder& a, const MaildirFolder& b) { return a.name < b.name; });
    std::vector<MaildirFolder> folders;
    if (inbox) {
        folders.push_back(std::move(*inbox));
    }
    folders.insert(folders.end(), std::make_move_iterator(others.begin()), std::make_move_iterator(others.end()));
    return folders;
}

namespace {

// How a request's folder name is compared with a folder's.
using NameMatch = bool (*)(std::string_view known, std::string_view wanted);

bool sameName(std::string_view known, std::string_view wanted) { return known == wanted; }

bool sameNameIgnoringCase(std::string_view known, std::string_view wanted) {
    return asciiLower(known) == asciiLower(wanted);
}

constexpr NameMatch kNameMatches[] = {sameName, sameNameIgnoringCase};

}  // namespace

std::optional<MaildirFolder> findMaildirFolder(const MaildirTree& tree, std::string_view name) {
    std::vector<MaildirFolder> folders = discoverMaildirFolders(tree);
    for (NameMatch matches : kNameMatches) {
        for (const auto& folder : folders) {
            if (matches(folder.name, name) || (!folder.storedName.empty() && matches(folder.storedName, name))) {
                return folder;
            }
        }
    }
    return std::nullopt;
}

MaildirFolder newMaildirFolder(const MaildirTree& tree, std::string_view name) {
    const LayoutSpelling& spelling = spellingOf(layoutOf(tree));
    auto refuse = [&](const std::string& why) {
        return std::invalid_argument("the folder " + quotedText(name) + " cannot be made in a " +
                                     std::string(nameOf(spelling.layout)) + " tree: " + why);
    };
    std::string onDisk;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = std::min(name.find('/', start), name.size());
        std::string_view level = name.substr(start, end - start);
        if (level.empty() || level.front() == '.') {
            throw refuse("each level of its name must be there and must not start with a dot");
        }
        if (level.find(spelling.separator) != std::string_view::npos || isMessageDirectory(level)) {
            throw refuse("the level " + quotedText(level) + " cannot be spelt there");
        }
        if (std::any_of(level.begin(), level.end(), [](char c) { return c < 0x20 || c > 0x7e || c == '&'; })) {
            throw refuse("a name beyond printable ASCII is made by the sync tool, in the encoding it chose");
        }
        onDisk += onDisk.empty() ? std::string(spelling.prefix) : std::string(1, spelling.separator);
        onDisk += level;
        start = end + 1;
    }
    return {std::string(name), tree.root + "/" + onDisk, ""};
}

}  // namespace quillbrook::dev_agent
