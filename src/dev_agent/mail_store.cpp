#include "dev_agent/mail_store.h"

#include <algorithm>
#include <exception>

#include <sys/stat.h>

#include "dev_agent/files.h"
#include "dev_agent/log.h"
#include "dev_agent/message_file.h"
#include "dev_agent/text.h"

namespace quillbrook::dev_agent {

namespace {

bool isSafeFileNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '.' || c == '-' || c == '_';
}

bool hasFlag(const std::vector<std::string>& flags, std::string_view flag) {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

// Nothing, with a log line, for a file that cannot be read.
std::optional<ParsedMessage> parseFile(const MaildirEntry& entry) {
    try {
        return readMessageFile(entry);
    } catch (const std::exception& error) {
        logLine("skipping " + entry.path + ": " + error.what());
    }
    return std::nullopt;
}

// Where the UID state of `email` is kept: characters that are unsafe in a file
// name are written as %XX, so no two addresses share a file.
std::string uidStatePath(const std::string& stateDir, const std::string& email) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name = "uids-";
    for (char c : asciiLower(email)) {
        if (isSafeFileNameChar(c)) {
            name.push_back(c);
        } else {
            auto byte = static_cast<unsigned char>(c);
            name += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
        }
    }
    return stateDir + "/" + name + ".json";
}

}  // namespace

MailStore::MailStore(std::vector<Account> accounts, std::string stateDir)
    : accounts_(std::move(accounts)), stateDir_(std::move(stateDir)) {
    makeDirectories(stateDir_, 0700);
    for (const auto& account : accounts_) {
        uidMaps_[account.email] = std::make_unique<UidMap>(uidStatePath(stateDir_, account.email));
    }
}

UidMap& MailStore::uidsOf(const Account& account) { return *uidMaps_.at(account.email); }

std::vector<MaildirEntry> MailStore::entriesWithUids(const Account& account, const MaildirFolder& folder) {
    std::vector<MaildirEntry> entries = listMaildirMessages(folder.path);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const auto& entry : entries) {
        names.push_back(entry.uniqueName);
    }
    uidsOf(account).assign(names);
    return entries;
}

const std::optional<MessageSummary>& MailStore::summaryOf(const MaildirEntry& entry) {
    struct stat info {};
    ::stat(entry.path.c_str(), &info);
    CachedSummary& cached = summaries_[entry.path];
    if (cached.size == static_cast<std::int64_t>(info.st_size) && cached.mtime == info.st_mtime) {
        return cached.summary;
    }
    cached.size = static_cast<std::int64_t>(info.st_size);
    cached.mtime = info.st_mtime;
    cached.summary.reset();
    std::optional<ParsedMessage> parsed = parseFile(entry);
    if (!parsed) {
        return cached.summary;
    }
    cached.summary = MessageSummary{
        parsed->from,
        parsed->fromName,
        parsed->subject,
        parsed->date,
        parsed->time.value_or(info.st_mtime),
        snippetOf(parsed->body, kSnippetChars),
        !parsed->attachments.empty(),
    };
    return cached.summary;
}

std::vector<FolderCounts> MailStore::folders(const Account& account) const {
    std::vector<FolderCounts> counts;
    for (auto& folder : discoverMaildirFolders(account.root)) {
        std::vector<MaildirEntry> entries = listMaildirMessages(folder.path);
        auto unread = std::count_if(entries.begin(), entries.end(),
                                    [](const MaildirEntry& e) { return !hasFlag(e.flags, "seen"); });
        counts.push_back({std::move(folder), entries.size(), static_cast<std::size_t>(unread)});
    }
    return counts;
}

std::vector<ListedMessage> MailStore::list(const Account& account, const MaildirFolder& folder) {
    std::vector<ListedMessage> listed;
    for (auto& entry : entriesWithUids(account, folder)) {
        const auto& summary = summaryOf(entry);
        if (summary) {
            listed.push_back({*uidsOf(account).uidOf(entry.uniqueName), std::move(entry.flags), *summary});
        }
    }
    std::sort(listed.begin(), listed.end(), [](const ListedMessage& a, const ListedMessage& b) {
        return a.summary.time != b.summary.time ? a.summary.time > b.summary.time : a.uid > b.uid;
    });
    return listed;
}

std::optional<FoundMessage> MailStore::read(const Account& account, const MaildirFolder& folder, std::uint64_t uid) {
    std::vector<MaildirEntry> entries = entriesWithUids(account, folder);
    std::optional<std::string> name = uidsOf(account).nameOf(uid);
    if (!name) {
        return std::nullopt;
    }
    for (auto& entry : entries) {
        if (entry.uniqueName == *name) {
            std::optional<ParsedMessage> parsed = parseFile(entry);
            if (!parsed) {
                return std::nullopt;
            }
            return FoundMessage{folder.name, std::move(entry), std::move(*parsed)};
        }
    }
    return std::nullopt;
}

std::optional<FoundMessage> MailStore::find(const Account& account, std::uint64_t uid) {
    for (const auto& folder : discoverMaildirFolders(account.root)) {
        if (auto found = read(account, folder, uid)) {
            return found;
        }
    }
    return std::nullopt;
}

MailStore::SavedDraft MailStore::saveDraft(const Account& account, const std::string& message) {
    MaildirFolder drafts = findMaildirFolder(account.root, "Drafts").value_or(
        MaildirFolder{"Drafts", account.root + "/.Drafts", ""});
    std::string uniqueName = deliverToMaildir(drafts.path, message);
    uidsOf(account).assign({uniqueName});
    return {drafts.name, *uidsOf(account).uidOf(uniqueName)};
}

}  // namespace quillbrook::dev_agent
