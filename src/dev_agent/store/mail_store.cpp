#include "dev_agent/store/mail_store.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>
#include <thread>

#include <unistd.h>

#include "dev_agent/base/log.h"
#include "dev_agent/base/text.h"
#include "dev_agent/maildir/drafts_folder.h"
#include "dev_agent/maildir/message_file.h"
#include "dev_agent/store/folder_sync.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

// How often a read follows a message file that is renamed under it.
constexpr int kRenameAttempts = 20;

std::string accountKey(const Account& account) { return asciiLower(account.email); }

std::string pathOf(const MaildirFolder& folder, const IndexedMessage& message) {
    return folder.path + "/" + directoryName(message.dir) + "/" + message.name;
}

std::vector<std::string> flagsOf(const std::string& fileName) {
    auto entry = parseMaildirFileName(fileName);
    return entry ? std::move(entry->flags) : std::vector<std::string>{};
}

// The message file `name` of the folder, its path filled in.
MaildirEntry entryOf(const MaildirFolder& folder, const IndexedMessage& message) {
    MaildirEntry entry = parseMaildirFileName(message.name).value_or(MaildirEntry{message.name, "", {}});
    entry.path = pathOf(folder, message);
    return entry;
}

// Nothing, with a log line, for a file that cannot be read.
std::optional<ParsedMessage> parseFile(const MaildirEntry& entry) {
    try {
        return readMessageFile(entry);
    } catch (const std::exception& error) {
        logLineOnce(entry.path, "skipping " + entry.path + ": " + error.what());
    }
    return std::nullopt;
}

// Each account's layout told once, at start, and said in the log with where
// INBOX is: a tree keeps the spelling it was served with.
std::vector<Account> withLayoutsTold(std::vector<Account> accounts) {
    for (auto& account : accounts) {
        std::string how = account.layout == MaildirLayout::detect ? "found" : "configured";
        account.layout = layoutOf(treeOf(account));
        std::vector<MaildirFolder> folders = discoverMaildirFolders(treeOf(account));
        bool hasInbox = !folders.empty() && folders.front().name == "INBOX";
        logLine(account.email + ": " + std::string(nameOf(account.layout)) + " tree (" + how + ") at " + account.root +
                ", INBOX " + (hasInbox ? "at " + folders.front().path : "missing"));
    }
    return accounts;
}

}  // namespace

MailStore::MailStore(std::vector<Account> accounts, std::string stateDir)
    : accounts_(withLayoutsTold(std::move(accounts))),
      index_((makePrivateDirectory(stateDir, "state directory"), stateDir + "/index.sqlite")) {}

std::int64_t MailStore::synced(const Account& account, const MaildirFolder& folder,
                               const std::function<bool()>& stopRequested) {
    std::int64_t id = index_.folderId(accountKey(account), folder.path);
    syncFolder(index_, accountKey(account), folder, id, stopRequested);
    return id;
}

MailStore::RequestLock::RequestLock(MailStore& store) {
    ++store.waitingRequests_;
    lock = std::unique_lock(store.mutex_);
    --store.waitingRequests_;
}

void MailStore::indexAll(const std::function<bool()>& stopRequested) {
    auto stepAside = [&] { return stopRequested() || waitingRequests_ > 0; };
    for (const auto& account : accounts_) {
        for (const auto& folder : discoverMaildirFolders(treeOf(account))) {
            // A folder left half done for a request is taken up again where it stopped.
            for (bool done = false; !done;) {
                while (waitingRequests_ > 0 && !stopRequested()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                if (stopRequested()) {
                    return;
                }
                std::lock_guard lock(mutex_);
                try {
                    synced(account, folder, stepAside);
                } catch (const std::system_error& error) {
                    // A folder that cannot be listed now is looked at again by
                    // the first request for it; the others are indexed meanwhile.
                    logLine("not indexed for now: " + folder.name + " of " + account.email + ": " + error.what());
                    break;
                }
                done = !stepAside();
            }
        }
    }
}

std::vector<FolderCounts> MailStore::folders(const Account& account) {
    RequestLock turn(*this);
    std::vector<FolderCounts> counts;
    for (auto& folder : discoverMaildirFolders(treeOf(account))) {
        FolderTotals totals = index_.totals(synced(account, folder));
        counts.push_back({std::move(folder), totals.total, totals.unread});
    }
    return counts;
}

void MailStore::addBodySummaries(const MaildirFolder& folder, std::int64_t folderId,
                                 std::vector<IndexedMessage>& page) {
    if (std::all_of(page.begin(), page.end(), [](const IndexedMessage& message) { return message.snippet; })) {
        return;
    }
    sqlite::Transaction transaction = index_.transaction();
    for (auto& message : page) {
        if (message.snippet) {
            continue;
        }
        std::optional<ParsedMessage> parsed = parseFile(entryOf(folder, message));
        if (!parsed) {
            continue;  // gone since the last look: the next one drops it
        }
        message.snippet = snippetOf(parsed->body, kSnippetChars);
        message.hasAttachments = !parsed->attachments.empty();
        index_.setBodySummary(folderId, message);
    }
    transaction.commit();
}

FolderPage MailStore::list(const Account& account, const MaildirFolder& folder, std::size_t limit) {
    RequestLock turn(*this);
    std::int64_t id = synced(account, folder);
    std::vector<IndexedMessage> newest = index_.newest(id, limit);
    addBodySummaries(folder, id, newest);
    FolderPage page;
    page.total = index_.totals(id).total;
    for (auto& message : newest) {
        page.messages.push_back(
            {message.uid,
             flagsOf(message.name),
             {std::move(message.from), std::move(message.fromName), std::move(message.subject), std::move(message.date),
              message.time, message.snippet.value_or(""), message.hasAttachments}});
    }
    return page;
}

std::optional<FoundMessage> MailStore::readLocked(const Account& account, const MaildirFolder& folder,
                                                  std::uint64_t uid, bool followRenames) {
    std::int64_t id = synced(account, folder);
    MaildirEntry entry;
    if (std::optional<IndexedMessage> indexed = index_.byUid(id, uid)) {
        entry = entryOf(folder, *indexed);
    } else if (!followRenames) {
        return std::nullopt;
    } else {
        // A listing made while the file was renamed may have missed it: look
        // for the message by the unique name its UID was given to.
        std::optional<std::string> uniqueName = index_.uniqueNameOf(id, uid);
        std::optional<MaildirEntry> moved = uniqueName ? findByUniqueName(folder.path, *uniqueName) : std::nullopt;
        if (!moved) {
            return std::nullopt;
        }
        entry = std::move(*moved);
        index_.setStamps(id, DirectoryStamps{});
    }
    // A mail program may rename the file (a flag changed, new/ to cur/) at any
    // moment, also between finding it and opening it: follow its unique name.
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        try {
            ParsedMessage parsed = readMessageFile(entry);
            return FoundMessage{folder.name, std::move(entry), std::move(parsed)};
        } catch (const std::system_error& error) {
            if (error.code() != std::errc::no_such_file_or_directory) {
                logLineOnce(entry.path, "skipping " + entry.path + ": " + error.what());
                return std::nullopt;
            }
        } catch (const std::exception& error) {
            logLineOnce(entry.path, "skipping " + entry.path + ": " + error.what());
            return std::nullopt;
        }
        // The index learns of the new name on its next look.
        index_.setStamps(id, DirectoryStamps{});
        // A listing may miss a file renamed while it is made: then look again.
        if (std::optional<MaildirEntry> moved = findByUniqueName(folder.path, entry.uniqueName)) {
            entry = std::move(*moved);
        }
    }
    return std::nullopt;
}

std::optional<FoundMessage> MailStore::read(const Account& account, const MaildirFolder& folder, std::uint64_t uid) {
    RequestLock turn(*this);
    return readLocked(account, folder, uid, true);
}

std::optional<FoundMessage> MailStore::find(const Account& account, std::uint64_t uid) {
    RequestLock turn(*this);
    for (const auto& folder : discoverMaildirFolders(treeOf(account))) {
        if (auto found = readLocked(account, folder, uid, false)) {
            return found;
        }
    }
    return std::nullopt;
}

MailStore::SavedDraft MailStore::saveDraft(const Account& account, const std::string& message) {
    RequestLock turn(*this);
    DraftsFolder drafts = draftsFolderOf(treeOf(account), account.draftsFolder);
    MaildirEntry saved = saveDraftToMaildir(drafts.folder.path, message);
    std::uint64_t uid = 0;
    if (!drafts.exists) {
        // The folder made now, under the name and path every later look gives it.
        drafts.folder = findMaildirFolder(treeOf(account), drafts.folder.name).value_or(drafts.folder);
    }
    try {
        sqlite::Transaction transaction = index_.transaction();
        std::int64_t folderId = index_.folderId(accountKey(account), drafts.folder.path);
        uid = index_.uidFor(accountKey(account), folderId, saved.uniqueName);
        transaction.commit();
    } catch (const std::exception& error) {
        // Reported as failed, the draft must not stay: each retry would leave one more.
        if (::unlink(saved.path.c_str()) != 0) {
            throw std::runtime_error(std::string(error.what()) + "; the draft was kept without a UID as " + saved.path);
        }
        throw;
    }
    // Indexed now, with its Message-ID: a sync tool that renames the file
    // before the next look (offlineimap does, once it uploaded it) leaves it
    // its UID only so.
    try {
        synced(account, drafts.folder);
    } catch (const std::exception& error) {
        logLine("not indexed for now: " + drafts.folder.name + " of " + account.email + ": " + error.what());
    }
    return {drafts.folder.name, uid};
}

}  // namespace quillbrook::dev_agent
