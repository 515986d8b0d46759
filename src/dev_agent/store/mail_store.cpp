#include "dev_agent/store/mail_store.h"

#include <algorithm>
#include <array>
#include <exception>
#include <future>
#include <set>
#include <system_error>
#include <thread>

#include <unistd.h>

#include "dev_agent/base/log.h"
#include "dev_agent/base/text.h"
#include "dev_agent/maildir/drafts_folder.h"
#include "dev_agent/maildir/message_file.h"
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

// What the store keeps of a folder while it serves.
struct MailStore::Folder {
    std::string account;
    MaildirFolder folder;
    std::array<int, 2> watches{-1, -1};  // of cur/ and new/
    // The index holds what the directories held when last listed, and the
    // watches, set before that listing, tell of every change since.
    bool current = false;
    std::optional<FolderSync> sync;                // the work left, done by the indexer
    std::unique_ptr<FolderSync::Batch> readAhead;  // of `sync`, read while the batch before it was written
    FolderSync::ToldByWatch toldByWatch;           // since the listing of `sync` began
    bool queued = false;
    bool listing = false;  // by a thread that gave the writer back meanwhile
    // Files created in place whose close the watch has not told yet: their
    // rows may hold half a message, and a listing, which goes by names, would
    // keep them so.
    std::set<std::pair<MailDirectory, std::string>> unclosed;

    bool watched() const { return watches[0] >= 0 && watches[1] >= 0; }
};

// The writer, taken ahead of the indexing: the indexer waits for its next
// turn while a request waits for one.
class MailStore::WriterTurn {
public:
    explicit WriterTurn(MailStore& store) : store_(store) {
        ++store.waitingRequests_;
        lock = std::unique_lock(store.writerMutex_);
        --store.waitingRequests_;
    }
    ~WriterTurn() {
        lock.unlock();
        store_.turns_.notify_all();
    }
    WriterTurn(const WriterTurn&) = delete;
    WriterTurn& operator=(const WriterTurn&) = delete;

    std::unique_lock<std::mutex> lock;

private:
    MailStore& store_;
};

// A connection of the index for reading, beside the writer, lent to one
// request at a time and kept for the next.
class MailStore::ReaderLease {
public:
    explicit ReaderLease(MailStore& store) : store_(store) {
        std::lock_guard lock(store.readersMutex_);
        if (store.idleReaders_.empty()) {
            index_ = std::make_unique<MailIndex>(store.indexPath_, MailIndex::Role::reader);
        } else {
            index_ = std::move(store.idleReaders_.back());
            store.idleReaders_.pop_back();
        }
    }
    ~ReaderLease() {
        std::lock_guard lock(store_.readersMutex_);
        store_.idleReaders_.push_back(std::move(index_));
    }
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;

    MailIndex* operator->() { return index_.get(); }
    MailIndex& operator*() { return *index_; }

private:
    MailStore& store_;
    std::unique_ptr<MailIndex> index_;
};

MailStore::MailStore(std::vector<Account> accounts, std::string stateDir)
    : accounts_(withLayoutsTold(std::move(accounts))),
      indexPath_((makePrivateDirectory(stateDir, "state directory"), stateDir + "/index.sqlite")),
      writer_(indexPath_),
      watch_(DirectoryWatch::open()),
      indexer_([this] { indexInBackground(); }) {}

MailStore::~MailStore() {
    {
        std::lock_guard lock(writerMutex_);
        stopping_ = true;
    }
    turns_.notify_all();
    indexer_.join();
    // A row read from a file still written in place goes, so that the next
    // start lists its directory and reads the file whole (its UID stays).
    try {
        std::lock_guard lock(writerMutex_);
        sqlite::Transaction transaction = writer_.transaction();
        for (auto& [id, state] : folders_) {
            dropUnclosed(id, state);
        }
        transaction.commit();
    } catch (const std::exception& error) {
        logLine(std::string("files still written when the agent stopped are kept as read: ") + error.what());
    }
}

MailStore::Folder& MailStore::folderState(const Account& account, const MaildirFolder& folder, std::int64_t id) {
    Folder& state = folders_[id];
    if (state.account.empty()) {
        state.account = accountKey(account);
        state.folder = folder;
    }
    return state;
}

void MailStore::stopWatching(Folder& state) {
    for (int& watch : state.watches) {
        if (watch >= 0) {
            watch_->remove(watch);
            watched_.erase(watch);
            watch = -1;
        }
    }
    state.current = false;
}

void MailStore::dropUnclosed(std::int64_t id, Folder& state) {
    if (state.unclosed.empty()) {
        return;
    }
    DirectoryStamps stamps = writer_.stamps(id);
    for (const auto& [dir, name] : state.unclosed) {
        if (std::optional<bool> seen = writer_.seenOf(id, dir, name)) {
            writer_.remove(id, dir, name);
            writer_.addToTotals(id, -1, *seen ? 0 : -1);
        }
        stamps.of(dir) = -1;
    }
    writer_.setStamps(id, stamps);
    state.unclosed.clear();
}

void MailStore::applyWatchEvents() {
    if (!watch_) {
        return;
    }
    std::vector<DirectoryEvent> events = watch_->read();
    if (events.empty()) {
        return;
    }
    sqlite::Transaction transaction = writer_.transaction();
    DepartedUids departed;
    for (const DirectoryEvent& event : events) {
        if (event.kind == DirectoryEvent::Kind::overflow) {
            // Changes were lost: every folder is listed again on its next look.
            for (auto& [id, state] : folders_) {
                dropUnclosed(id, state);
                stopWatching(state);
                writer_.setStamps(id, DirectoryStamps{});
            }
            continue;
        }
        auto found = watched_.find(event.watch);
        if (found == watched_.end()) {
            continue;  // a watch ended before
        }
        auto [id, dir] = found->second;
        Folder& state = folders_.at(id);
        if (event.kind == DirectoryEvent::Kind::invalid) {
            // The directory went or was replaced: list it anew.
            dropUnclosed(id, state);
            stopWatching(state);
            writer_.setStamps(id, DirectoryStamps{});
            continue;
        }
        if (state.listing || state.sync) {
            state.toldByWatch.emplace(dir, event.name);
        }
        if (event.kind == DirectoryEvent::Kind::gone) {
            state.unclosed.erase({dir, event.name});
            fileLeft(writer_, id, dir, event.name, departed);
        } else {
            // Shown at once: a file linked in is whole, one written in place
            // is read again once closed.
            if (event.kind == DirectoryEvent::Kind::created) {
                state.unclosed.emplace(dir, event.name);
            } else {
                state.unclosed.erase({dir, event.name});
            }
            fileArrived(writer_, state.account, state.folder, id, dir, event.name, departed);
        }
    }
    transaction.commit();
}

void MailStore::startSync(std::unique_lock<std::mutex>& turn, Folder& state, std::int64_t id) {
    // Watched before the listing, so that no change after it goes unseen.
    if (watch_ && !state.watched()) {
        stopWatching(state);
        for (std::size_t d = 0; d < 2; ++d) {
            MailDirectory dir = d == 0 ? MailDirectory::cur : MailDirectory::incoming;
            if (auto watch = watch_->add(state.folder.path + "/" + directoryName(dir))) {
                state.watches[d] = *watch;
                watched_[*watch] = {id, dir};
            }
        }
    }
    bool watched = state.watched();
    std::string account = state.account;
    MaildirFolder folder = state.folder;
    state.listing = true;
    state.toldByWatch.clear();
    turn.unlock();
    std::optional<FolderSync> sync;
    try {
        ReaderLease reader(*this);
        sync.emplace(*reader, account, folder, id);
    } catch (...) {
        turn.lock();
        state.listing = false;
        turns_.notify_all();
        throw;
    }
    turn.lock();
    state.listing = false;
    turns_.notify_all();
    if (state.sync) {
        return;  // listed meanwhile by another
    }
    if (sync->done()) {
        state.current = watched && state.watched();
        return;
    }
    state.sync = std::move(sync);
    state.current = false;
    if (!state.queued) {
        state.queued = true;
        queue_.push_back(id);
    }
}

MailStore::Refreshed MailStore::refresh(const Account& account, const MaildirFolder& folder) {
    WriterTurn turn(*this);
    std::int64_t id = writer_.folderId(accountKey(account), folder.path);
    applyWatchEvents();
    Folder& state = folderState(account, folder, id);
    // One listing of a folder at a time: a second would find what the first does.
    turns_.wait(turn.lock, [&] { return stopping_ || !state.listing; });
    if (!state.sync && !state.current) {
        startSync(turn.lock, state, id);
    }
    if (state.sync) {
        // Asked for: indexed next, and answered once its newest messages are.
        auto queued = std::find(queue_.begin(), queue_.end(), id);
        if (queued != queue_.end() && queued != queue_.begin()) {
            queue_.erase(queued);
            queue_.push_front(id);
        }
        turns_.notify_all();
        turns_.wait(turn.lock, [&] { return stopping_ || !state.sync || state.sync->started(); });
    }
    Refreshed refreshed{id, false, 0};
    if (state.sync) {
        refreshed.indexing = true;
        refreshed.expectedTotal = state.sync->expectedTotal();
    }
    return refreshed;
}

void MailStore::indexQueued(std::unique_lock<std::mutex>& turn) {
    for (;;) {
        turns_.wait(turn, [&] { return stopping_ || (waitingRequests_ == 0 && !queue_.empty()); });
        if (stopping_) {
            return;
        }
        std::int64_t id = queue_.front();
        Folder& state = folders_.at(id);
        if (!state.sync) {
            queue_.pop_front();
            state.queued = false;
            continue;
        }
        // Only this thread reads and writes batches; the files are read
        // without the writer, which requests may take meanwhile, and the next
        // batch is read while this one is written, so that both cores work.
        std::unique_ptr<FolderSync::Batch> batch = std::move(state.readAhead);
        if (!batch) {
            turn.unlock();
            batch = state.sync->readBatch();
            turn.lock();
        }
        applyWatchEvents();
        if (batch) {
            FolderSync& sync = *state.sync;
            std::future<std::unique_ptr<FolderSync::Batch>> next;
            if (batch->begin > 0) {
                next = std::async(std::launch::async, [&sync] { return sync.readBatch(); });
            }
            std::exception_ptr failed;
            try {
                sync.writeBatch(writer_, *batch, state.toldByWatch);
            } catch (...) {
                failed = std::current_exception();
            }
            if (next.valid()) {
                // Requests take the writer while the rest is read (the second
                // batch orders the whole folder first); one may wait for the
                // first batch.
                turns_.notify_all();
                turn.unlock();
                std::unique_ptr<FolderSync::Batch> ahead = next.get();
                turn.lock();
                state.readAhead = std::move(ahead);
            }
            if (failed) {
                std::rethrow_exception(failed);
            }
        }
        if (state.sync->done()) {
            state.sync.reset();
            state.toldByWatch.clear();
            state.current = state.watched();
            queue_.erase(std::find(queue_.begin(), queue_.end(), id));
            state.queued = false;
        }
        turns_.notify_all();
    }
}

void MailStore::indexInBackground() {
    try {
        for (const auto& account : accounts_) {
            for (const auto& folder : discoverMaildirFolders(treeOf(account))) {
                WriterTurn turn(*this);
                if (stopping_) {
                    return;
                }
                try {
                    std::int64_t id = writer_.folderId(accountKey(account), folder.path);
                    Folder& state = folderState(account, folder, id);
                    if (!state.sync && !state.current && !state.listing) {
                        startSync(turn.lock, state, id);
                    }
                } catch (const std::system_error& error) {
                    // A folder that cannot be listed now is looked at again by
                    // the first request for it; the others are indexed meanwhile.
                    logLine("not indexed for now: " + folder.name + " of " + account.email + ": " + error.what());
                }
            }
        }
        std::unique_lock turn(writerMutex_);
        indexQueued(turn);
    } catch (const std::exception& error) {
        logLine(std::string("indexing stopped: ") + error.what());
        std::lock_guard lock(writerMutex_);
        stopping_ = true;
        turns_.notify_all();
    }
}

std::vector<FolderCounts> MailStore::folders(const Account& account) {
    std::vector<FolderCounts> counts;
    for (auto& folder : discoverMaildirFolders(treeOf(account))) {
        Refreshed refreshed = refresh(account, folder);
        FolderTotals totals = ReaderLease(*this)->totals(refreshed.id);
        std::size_t total = refreshed.indexing ? refreshed.expectedTotal : totals.total;
        counts.push_back({std::move(folder), total, totals.unread, refreshed.indexing});
    }
    return counts;
}

void MailStore::addBodySummaries(const MaildirFolder& folder, std::int64_t folderId,
                                 std::vector<IndexedMessage>& page) {
    std::vector<IndexedMessage*> read;
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
        read.push_back(&message);
    }
    if (read.empty()) {
        return;
    }
    WriterTurn turn(*this);
    sqlite::Transaction transaction = writer_.transaction();
    for (IndexedMessage* message : read) {
        writer_.setBodySummary(folderId, *message);
    }
    transaction.commit();
}

FolderPage MailStore::list(const Account& account, const MaildirFolder& folder, std::size_t limit) {
    Refreshed refreshed = refresh(account, folder);
    FolderPage page;
    std::vector<IndexedMessage> newest;
    {
        ReaderLease reader(*this);
        newest = reader->newest(refreshed.id, limit);
        page.total = refreshed.indexing ? refreshed.expectedTotal : reader->totals(refreshed.id).total;
    }
    page.indexing = refreshed.indexing;
    addBodySummaries(folder, refreshed.id, newest);
    for (auto& message : newest) {
        page.messages.push_back(
            {message.uid,
             flagsOf(message.name),
             {std::move(message.from), std::move(message.fromName), std::move(message.subject), std::move(message.date),
              message.time, message.snippet.value_or(""), message.hasAttachments}});
    }
    return page;
}

void MailStore::forgetStamps(std::int64_t id) {
    WriterTurn turn(*this);
    writer_.setStamps(id, DirectoryStamps{});
}

std::optional<FoundMessage> MailStore::readFound(const MaildirFolder& folder, std::int64_t id, std::uint64_t uid,
                                                 bool followRenames) {
    MaildirEntry entry;
    std::optional<IndexedMessage> indexed;
    std::optional<std::string> uniqueName;
    {
        ReaderLease reader(*this);
        indexed = reader->byUid(id, uid);
        if (!indexed && followRenames) {
            uniqueName = reader->uniqueNameOf(id, uid);
        }
    }
    if (indexed) {
        entry = entryOf(folder, *indexed);
    } else if (!followRenames) {
        return std::nullopt;
    } else {
        // A listing made while the file was renamed may have missed it: look
        // for the message by the unique name its UID was given to.
        std::optional<MaildirEntry> moved = uniqueName ? findByUniqueName(folder.path, *uniqueName) : std::nullopt;
        if (!moved) {
            return std::nullopt;
        }
        entry = std::move(*moved);
        forgetStamps(id);
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
        forgetStamps(id);
        // A listing may miss a file renamed while it is made: then look again.
        if (std::optional<MaildirEntry> moved = findByUniqueName(folder.path, entry.uniqueName)) {
            entry = std::move(*moved);
        }
    }
    return std::nullopt;
}

std::optional<FoundMessage> MailStore::read(const Account& account, const MaildirFolder& folder, std::uint64_t uid) {
    return readFound(folder, refresh(account, folder).id, uid, true);
}

std::optional<FoundMessage> MailStore::find(const Account& account, std::uint64_t uid) {
    for (const auto& folder : discoverMaildirFolders(treeOf(account))) {
        if (auto found = readFound(folder, refresh(account, folder).id, uid, false)) {
            return found;
        }
    }
    return std::nullopt;
}

MailStore::SavedDraft MailStore::saveDraft(const Account& account, const std::string& message) {
    DraftsFolder drafts = draftsFolderOf(treeOf(account), account.draftsFolder);
    std::uint64_t uid = 0;
    {
        WriterTurn turn(*this);
        MaildirEntry saved = saveDraftToMaildir(drafts.folder.path, message);
        if (!drafts.exists) {
            // The folder made now, under the name and path every later look gives it.
            drafts.folder = findMaildirFolder(treeOf(account), drafts.folder.name).value_or(drafts.folder);
        }
        try {
            sqlite::Transaction transaction = writer_.transaction();
            std::int64_t folderId = writer_.folderId(accountKey(account), drafts.folder.path);
            uid = writer_.uidFor(accountKey(account), folderId, saved.uniqueName);
            transaction.commit();
        } catch (const std::exception& error) {
            // Reported as failed, the draft must not stay: each retry would leave one more.
            if (::unlink(saved.path.c_str()) != 0) {
                throw std::runtime_error(std::string(error.what()) + "; the draft was kept without a UID as " +
                                         saved.path);
            }
            throw;
        }
    }
    // Indexed now, with its Message-ID: a sync tool that renames the file
    // before the next look (offlineimap does, once it uploaded it) leaves it
    // its UID only so. The newest message, it is in a folder's first batch.
    try {
        refresh(account, drafts.folder);
    } catch (const std::exception& error) {
        logLine("not indexed for now: " + drafts.folder.name + " of " + account.email + ": " + error.what());
    }
    return {drafts.folder.name, uid};
}

}  // namespace quillbrook::dev_agent
