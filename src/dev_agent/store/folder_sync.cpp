#include "dev_agent/store/folder_sync.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "dev_agent/base/log.h"
#include "dev_agent/maildir/message_file.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kBatchSize = 1000;
// The first batch: enough for a first page, soon written.
constexpr std::size_t kFirstBatchSize = 200;
constexpr std::size_t kParallelFrom = 64;
constexpr std::size_t kLogProgressFrom = 10000;
constexpr std::size_t kLogProgressEvery = 20000;
constexpr std::int64_t kSettledNanos = 2'000'000'000;

constexpr MailDirectory kDirectories[] = {MailDirectory::cur, MailDirectory::incoming};

std::int64_t nanosOf(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t modificationNanos(const struct stat& info) {
#if defined(__APPLE__)
    return nanosOf(info.st_mtimespec);
#else
    return nanosOf(info.st_mtim);
#endif
}

std::int64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::optional<std::int64_t> directoryStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return modificationNanos(info);
}

bool hasFlag(const std::vector<std::string>& flags, std::string_view flag) {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

struct NewFile {
    MailDirectory dir;
    std::string name;
    std::string uniqueName;
    bool seen;
};

// The index row of a new file without its UID; nothing when the file is gone
// or is no regular file.
std::optional<IndexedMessage> headSummary(const NewFile& file, const std::string& folderPath) {
    MaildirEntry entry{file.uniqueName, folderPath + "/" + directoryName(file.dir) + "/" + file.name, {}};
    ParsedMessage parsed;
    try {
        parsed = readMessageFileHeaders(entry);
    } catch (const NotARegularFile& error) {
        logLineOnce(entry.path, std::string("skipping ") + error.what());
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;  // gone since the listing: the next look settles it
    }
    IndexedMessage message;
    message.dir = file.dir;
    message.name = file.name;
    message.seen = file.seen;
    message.time = parsed.time.value_or(0);
    message.from = std::move(parsed.from);
    message.fromName = std::move(parsed.fromName);
    message.subject = std::move(parsed.subject);
    message.date = std::move(parsed.date);
    message.messageId = std::move(parsed.messageId);
    return message;
}

// The head summaries of files[begin, end), read and parsed on every core:
// parsing headers is most of what indexing a new mailbox costs.
std::vector<std::optional<IndexedMessage>> headSummaries(const std::vector<NewFile>& files, std::size_t begin,
                                                         std::size_t end, const std::string& folderPath) {
    std::vector<std::optional<IndexedMessage>> summaries(end - begin);
    std::atomic<std::size_t> next{begin};
    auto work = [&] {
        for (std::size_t i = next++; i < end; i = next++) {
            const NewFile& file = files[i];
            summaries[i - begin] = headSummary(file, folderPath);
        }
    };
    unsigned helpers = end - begin < kParallelFrom ? 0 : std::clamp(std::thread::hardware_concurrency(), 1U, 4U) - 1;
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < helpers; ++i) {
        threads.emplace_back(work);
    }
    work();
    for (auto& thread : threads) {
        thread.join();
    }
    return summaries;
}

class ProgressLog {
public:
    ProgressLog(const std::string& account, const MaildirFolder& folder, std::size_t total)
        : label_(folder.name + " of " + account), total_(total), started_(std::chrono::steady_clock::now()) {
        if (total_ >= kLogProgressFrom) {
            logLine("indexing " + label_ + ": " + std::to_string(total_) + " new messages");
        }
    }

    void advanced(std::size_t done) {
        if (total_ >= kLogProgressFrom && done / kLogProgressEvery != logged_ && done < total_) {
            logged_ = done / kLogProgressEvery;
            logLine("indexing " + label_ + ": " + std::to_string(done) + " of " + std::to_string(total_));
        }
    }

    void finished(std::size_t done) {
        if (total_ < kLogProgressFrom) {
            return;
        }
        auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
        auto rate = millis > 0 ? static_cast<long long>(done) * 1000 / millis : static_cast<long long>(done);
        logLine("indexed " + label_ + ": " + std::to_string(done) + " messages in " + std::to_string(millis) + " ms (" +
                std::to_string(rate) + " per second)");
    }

private:
    std::string label_;
    std::size_t total_;
    std::chrono::steady_clock::time_point started_;
    std::size_t logged_ = 0;
};

// What changed in a folder since the index last looked.
struct FolderChanges {
    DirectoryStamps stamps;  // to keep once the changes are written
    std::vector<NewFile> added;
    std::vector<std::pair<MailDirectory, std::string>> removed;
    DepartedUids departed;  // of the removed files whose unique name is gone too
    bool any = false;
};

std::string uniqueNameOf(const std::string& fileName) { return parseMaildirFileName(fileName)->uniqueName; }

// The names a folder's directories hold (cur/ at 0, new/ at 1), sorted.
using DirectoryNames = std::array<std::vector<std::string>, 2>;

// A mail program that renames a file (a flag changed, new/ to cur/) between
// the listings of cur/ and new/ makes it show in neither. Before a message the
// index knew is dropped, the directories that were listed are listed once
// more, and a unique name that turns up there is kept under its new name.
void keepRenamedFiles(const MaildirFolder& folder, const DirectoryNames& known, DirectoryNames& present,
                      const std::array<bool, 2>& listed) {
    std::set<std::string> missing;
    for (std::size_t d = 0; d < 2; ++d) {
        std::vector<std::string> gone;
        std::set_difference(known[d].begin(), known[d].end(), present[d].begin(), present[d].end(),
                            std::back_inserter(gone));
        for (const auto& name : gone) {
            missing.insert(uniqueNameOf(name));
        }
    }
    if (missing.empty()) {
        return;
    }
    for (const auto& names : present) {
        for (const auto& name : names) {
            missing.erase(uniqueNameOf(name));
        }
    }
    for (std::size_t d = 0; d < 2 && !missing.empty(); ++d) {
        if (!listed[d]) {
            continue;
        }
        for (auto& name : messageFileNames(folder.path + "/" + directoryName(kDirectories[d]))) {
            if (missing.erase(uniqueNameOf(name)) > 0) {
                present[d].insert(std::lower_bound(present[d].begin(), present[d].end(), name), name);
            }
        }
    }
}

// A sync tool may give a file a new unique name of its own (offlineimap does,
// once it has uploaded the file): the old name is gone and a new one with the
// same Message-ID is there, in one listing. The removed files whose unique
// name is gone from the folder offer their UIDs to new files of their
// Message-ID (see writeChanges).
DepartedUids departedUids(MailIndex& index, std::int64_t folderId, const FolderChanges& changes,
                          const DirectoryNames& present) {
    DepartedUids departed;
    if (changes.added.empty()) {
        return departed;
    }
    std::set<std::string> stillThere;
    for (const auto& names : present) {
        for (const auto& name : names) {
            stillThere.insert(uniqueNameOf(name));
        }
    }
    for (const auto& [dir, name] : changes.removed) {
        if (stillThere.contains(uniqueNameOf(name))) {
            continue;
        }
        std::optional<IndexedMessage> gone = index.byName(folderId, dir, name);
        if (gone && !gone->messageId.empty()) {
            departed.emplace(gone->messageId, gone->uid);
        }
    }
    return departed;
}

// The UID a departed message of `messageId` leaves to a new file; each goes to one file.
std::optional<std::uint64_t> takeDeparted(DepartedUids& departed, const std::string& messageId) {
    auto found = messageId.empty() ? departed.end() : departed.find(messageId);
    if (found == departed.end()) {
        return std::nullopt;
    }
    std::uint64_t uid = found->second;
    departed.erase(found);
    return uid;
}

// Lists each directory whose modification time moved and compares its names
// with the index's.
FolderChanges findChanges(MailIndex& index, const MaildirFolder& folder, std::int64_t folderId) {
    DirectoryStamps stored = index.stamps(folderId);
    FolderChanges changes;
    std::int64_t lookedAt = nowNanos();
    DirectoryNames known;
    DirectoryNames present;
    std::array<bool, 2> listed{};
    for (std::size_t d = 0; d < 2; ++d) {
        MailDirectory dir = kDirectories[d];
        std::string path = folder.path + "/" + directoryName(dir);
        std::optional<std::int64_t> stamp = directoryStamp(path);
        changes.stamps.of(dir) = stamp && *stamp < lookedAt - kSettledNanos ? *stamp : -1;
        changes.any = changes.any || changes.stamps.of(dir) != stored.of(dir);
        if (stamp && *stamp == stored.of(dir)) {
            continue;
        }
        changes.any = listed[d] = true;
        present[d] = messageFileNames(path);
        known[d] = index.names(folderId, dir);
        std::sort(known[d].begin(), known[d].end());
    }
    keepRenamedFiles(folder, known, present, listed);
    for (std::size_t d = 0; d < 2; ++d) {
        MailDirectory dir = kDirectories[d];
        std::vector<std::string> gone;
        std::set_difference(known[d].begin(), known[d].end(), present[d].begin(), present[d].end(),
                            std::back_inserter(gone));
        for (auto& name : gone) {
            changes.removed.emplace_back(dir, std::move(name));
        }
        std::vector<std::string> arrived;
        std::set_difference(present[d].begin(), present[d].end(), known[d].begin(), known[d].end(),
                            std::back_inserter(arrived));
        for (auto& name : arrived) {
            auto entry = parseMaildirFileName(name);
            changes.added.push_back(
                {dir, std::move(name), std::move(entry->uniqueName), hasFlag(entry->flags, "seen")});
        }
    }
    changes.departed = departedUids(index, folderId, changes, present);
    // Names seen together take UIDs in name order, which for Maildir names is arrival order.
    std::stable_sort(changes.added.begin(), changes.added.end(),
                     [](const NewFile& a, const NewFile& b) { return a.uniqueName < b.uniqueName; });
    return changes;
}

}  // namespace

struct FolderSync::Changes {
    FolderChanges found;
    ProgressLog progress;
    std::size_t left;  // found.added[0, left) are still to write, the newest last
    std::uint64_t firstUid = 0;
    bool started = false;
};

FolderSync::FolderSync(MailIndex& index, std::string account, MaildirFolder folder, std::int64_t folderId)
    : account_(std::move(account)), folder_(std::move(folder)), folderId_(folderId) {
    FolderChanges found = findChanges(index, folder_, folderId_);
    done_ = !found.any;
    expectedTotal_ = index.totals(folderId_).total + found.added.size();
    expectedTotal_ -= std::min(expectedTotal_, found.removed.size());
    std::size_t added = found.added.size();
    changes_ = std::make_unique<Changes>(Changes{std::move(found), ProgressLog(account_, folder_, added), added});
}

FolderSync::~FolderSync() = default;
FolderSync::FolderSync(FolderSync&&) noexcept = default;
FolderSync& FolderSync::operator=(FolderSync&&) noexcept = default;

bool FolderSync::started() const { return done_ || changes_->started; }

std::unique_ptr<FolderSync::Batch> FolderSync::readBatch() const {
    if (done_) {
        return nullptr;
    }
    std::size_t end = changes_->left;
    std::size_t begin = end - std::min(end, changes_->started ? kBatchSize : kFirstBatchSize);
    return std::make_unique<Batch>(Batch{begin, end, headSummaries(changes_->found.added, begin, end, folder_.path)});
}

void FolderSync::writeBatch(MailIndex& index, Batch& batch) {
    Changes& changes = *changes_;
    const std::vector<NewFile>& added = changes.found.added;
    sqlite::Transaction transaction = index.transaction();
    if (!changes.started) {
        for (const auto& [dir, name] : changes.found.removed) {
            index.remove(folderId_, dir, name);
        }
        changes.firstUid = added.empty() ? 0 : index.reserveUids(account_, added.size());
    }
    for (std::size_t i = batch.begin; i < batch.end; ++i) {
        if (auto& summary = batch.summaries[i - batch.begin]) {
            summary->uid =
                index.uidFor(account_, folderId_, added[i].uniqueName,
                             {takeDeparted(changes.found.departed, summary->messageId), changes.firstUid + i});
            index.insert(folderId_, *summary);
        }
    }
    changes.started = true;
    changes.left = batch.begin;
    done_ = batch.begin == 0;
    if (done_) {
        index.countMessages(folderId_);
        index.setStamps(folderId_, changes.found.stamps);
    }
    transaction.commit();
    std::size_t written = added.size() - batch.begin;
    changes.progress.advanced(written);
    if (done_) {
        changes.progress.finished(written);
        changes_.reset();
    }
}

void fileArrived(MailIndex& index, const std::string& account, const MaildirFolder& folder, std::int64_t folderId,
                 MailDirectory dir, const std::string& name, DepartedUids& departed) {
    std::optional<MaildirEntry> entry = parseMaildirFileName(name);
    if (!entry) {
        return;
    }
    NewFile file{dir, name, std::move(entry->uniqueName), hasFlag(entry->flags, "seen")};
    std::optional<IndexedMessage> summary = headSummary(file, folder.path);
    if (!summary) {
        return;  // gone again: the event of its going follows
    }
    std::optional<bool> known = index.seenOf(folderId, dir, name);
    auto offered = summary->messageId.empty() ? departed.end() : departed.find(summary->messageId);
    summary->uid = index.uidFor(account, folderId, file.uniqueName,
                                {offered == departed.end() ? std::nullopt : std::optional(offered->second)});
    // Each departed UID goes to one file, and none stays offered once its own
    // message is back under a new name (a flag renamed).
    std::erase_if(departed, [&](const auto& entry) { return entry.second == summary->uid; });
    index.insert(folderId, *summary);
    if (!known) {
        index.addToTotals(folderId, 1, summary->seen ? 0 : 1);
    }
}

void fileLeft(MailIndex& index, std::int64_t folderId, MailDirectory dir, const std::string& name,
              DepartedUids& departed) {
    std::optional<IndexedMessage> gone = index.byName(folderId, dir, name);
    if (!gone) {
        return;
    }
    index.remove(folderId, dir, name);
    index.addToTotals(folderId, -1, gone->seen ? 0 : -1);
    // Gone under every name: its UID is offered to a file of its Message-ID
    // that arrives after it (a sync tool's new unique name for it).
    if (!gone->messageId.empty() && !index.byUid(folderId, gone->uid)) {
        departed.emplace(gone->messageId, gone->uid);
    }
}

}  // namespace quillbrook::dev_agent
