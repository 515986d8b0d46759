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
#include <tuple>
#include <vector>

#include <sys/stat.h>

#include "dev_agent/base/log.h"
#include "dev_agent/base/thread_priority.h"
#include "dev_agent/maildir/message_file.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::size_t kBatchSize = 1000;
// The first batch: enough for a first page, soon written.
constexpr std::size_t kFirstBatchSize = 200;
constexpr std::size_t kParallelFrom = 64;
// Readers of one batch. A mailbox that is not in the page cache is read from
// the disk, and reading then waits more than it computes: eight readers keep
// the disk's queue full (a million cold files indexed a tenth to a fifth
// faster here than with two), and cost nothing when the files are cached.
constexpr unsigned kReaders = 8;
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

// A file to read the header of, for its index row.
struct FileToRead {
    MailDirectory dir;
    std::string name;
    std::string uniqueName;
    bool seen;
};

FileToRead fileToRead(MailDirectory dir, std::string_view name) {
    std::optional<MaildirEntry> entry = parseMaildirFileName(name);
    return {dir, std::string(name), std::move(entry->uniqueName), hasFlag(entry->flags, "seen")};
}

// The index row of a new file without its UID; nothing when the file is gone
// or is no regular file.
std::optional<IndexedMessage> headSummary(const FileToRead& file, const std::string& folderPath) {
    MaildirEntry entry{file.uniqueName, folderPath + "/" + directoryName(file.dir) + "/" + file.name, {}};
    ParsedMessage parsed;
    try {
        parsed = readMessageFileSummary(entry);
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

// Whether someone waits for a batch (the first page of a folder) or it is
// read ahead while the one before is written.
enum class Awaited { yes, no };

// The head summaries of `files`, read and parsed on every core and while
// other readers wait for the disk: reading headers is most of what indexing a
// new mailbox costs. A batch read ahead is read by one reader at the usual
// priority and the others behind other work, so that the index's writer keeps
// a core (a tenth faster here on a million cached files) and requests go
// first, while the batch, which the indexer waits for before it turns to
// another folder, still moves on a busy machine.
std::vector<std::optional<IndexedMessage>> headSummaries(const std::vector<FileToRead>& files,
                                                         const std::string& folderPath, Awaited awaited) {
    std::vector<std::optional<IndexedMessage>> summaries(files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            summaries[i] = headSummary(files[i], folderPath);
        }
    };
    if (files.size() < kParallelFrom) {
        work();
        return summaries;
    }
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < kReaders; ++i) {
        threads.emplace_back([&, i] {
            if (awaited == Awaited::no && i > 0) {
                runBehindOtherWork();
            }
            work();
        });
    }
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

// The names a folder's directories hold (cur/ at 0, new/ at 1).
using DirectoryNames = std::array<FileNames, 2>;

// A file new to the index, by its place in the listing of its directory:
// eight bytes, where a million new files are what a new mailbox holds.
struct NewFile {
    std::uint32_t at;
    std::uint16_t baseLength;  // of its name before the ":2," info
    std::uint8_t directory;    // 0 for cur/, 1 for new/
};

// What changed in a folder since the index last looked.
struct FolderChanges {
    DirectoryStamps stamps;  // to keep once the changes are written
    DirectoryNames present;  // the listings `added` points into
    std::vector<NewFile> added;
    // added[ordered, end) is in the order of their names; the rest, which
    // comes after the first batch, is put in order when its turn comes.
    std::size_t ordered = 0;
    std::vector<std::pair<MailDirectory, std::string>> removed;
    DepartedUids departed;  // of the removed files whose unique name is gone too
    bool any = false;

    std::string_view nameOf(const NewFile& file) const { return present[file.directory][file.at]; }
    std::string_view baseOf(const NewFile& file) const { return nameOf(file).substr(0, file.baseLength); }
    // Names seen together take UIDs in name order, which for Maildir names is
    // arrival order: by the name before its info, then cur/ before new/.
    bool before(const NewFile& a, const NewFile& b) const {
        return std::tuple(baseOf(a), a.directory, a.at) < std::tuple(baseOf(b), b.directory, b.at);
    }
};

std::string uniqueNameOf(std::string_view fileName) { return parseMaildirFileName(fileName)->uniqueName; }

// The part of a file name before its first comma or its info: a unique name
// begins with it whatever fields a sync tool added, so a name whose head is
// not among those of `uniqueNames` need not be read for its unique name.
std::string_view headOf(std::string_view fileName) {
    return fileName.substr(0, std::min(fileName.find(','), fileName.find(":2,")));
}

using UniqueNames = std::set<std::string, std::less<>>;

// The heads of `uniqueNames`, copied: the names are taken out as they are found.
std::set<std::string, std::less<>> headsOf(const UniqueNames& uniqueNames) {
    std::set<std::string, std::less<>> heads;
    for (const auto& name : uniqueNames) {
        heads.emplace(headOf(name));
    }
    return heads;
}

// Takes the unique name of `fileName` out of `uniqueNames`; false when it is not there.
bool takeUniqueName(std::string_view fileName, const std::set<std::string, std::less<>>& heads,
                    UniqueNames& uniqueNames) {
    return heads.contains(headOf(fileName)) && uniqueNames.erase(uniqueNameOf(fileName)) > 0;
}

// Takes out of `uniqueNames` those of the files in `names`.
void eraseListed(const FileNames& names, UniqueNames& uniqueNames) {
    auto heads = headsOf(uniqueNames);
    for (auto name = names.begin(); name != names.end() && !uniqueNames.empty(); ++name) {
        takeUniqueName(*name, heads, uniqueNames);
    }
}

// Compares one directory's listing with the names the index holds, read from
// it in byte order: the places of the names new to the index and the names
// gone from the directory. The listing is put in the same order only when
// the index holds a name of the directory: a folder new to the index is
// all new.
void compareWithIndex(MailIndex& index, std::int64_t folderId, MailDirectory dir, FileNames& present,
                      std::vector<std::uint32_t>& arrived, std::vector<std::string>& gone) {
    std::uint32_t i = 0;
    std::uint32_t size = static_cast<std::uint32_t>(present.size());
    bool sorted = false;
    index.forEachName(folderId, dir, [&](std::string_view known) {
        if (!sorted) {
            present.sort();
            sorted = true;
        }
        for (; i < size && present[i] < known; ++i) {
            arrived.push_back(i);
        }
        if (i < size && present[i] == known) {
            ++i;
        } else {
            gone.emplace_back(known);
        }
    });
    for (; i < size; ++i) {
        arrived.push_back(i);
    }
}

// A mail program that renames a file (a flag changed, new/ to cur/) between
// the listings of cur/ and new/ makes it show in neither. Before a message the
// index knew is dropped, the directories that were listed are listed once
// more, and a unique name that turns up there is kept under its new name.
void keepRenamedFiles(const MaildirFolder& folder, DirectoryNames& present,
                      std::array<std::vector<std::uint32_t>, 2>& arrived, std::array<std::vector<std::string>, 2>& gone,
                      const std::array<bool, 2>& listed) {
    UniqueNames missing;
    for (const auto& names : gone) {
        for (const auto& name : names) {
            missing.insert(uniqueNameOf(name));
        }
    }
    for (const auto& names : present) {
        eraseListed(names, missing);
    }
    auto heads = headsOf(missing);
    for (std::size_t d = 0; d < 2 && !missing.empty(); ++d) {
        if (!listed[d]) {
            continue;
        }
        // gone[d] is in byte order, as the index gave it: the names that are
        // back are looked up in it and taken out once, however many they are.
        std::set<std::string, std::less<>> back;
        for (std::string_view name : messageFileNames(folder.path + "/" + directoryName(kDirectories[d]))) {
            if (!takeUniqueName(name, heads, missing)) {
                continue;
            }
            if (std::binary_search(gone[d].begin(), gone[d].end(), name,
                                   [](std::string_view a, std::string_view b) { return a < b; })) {
                back.emplace(name);
            } else {
                arrived[d].push_back(static_cast<std::uint32_t>(present[d].size()));
                present[d].add(name);
            }
        }
        std::erase_if(gone[d], [&back](const std::string& name) { return back.contains(name); });
    }
}

// A sync tool may give a file a new unique name of its own (offlineimap does,
// once it has uploaded the file): the old name is gone and a new one with the
// same Message-ID is there, in one listing. The removed files whose unique
// name is gone from the folder offer their UIDs to new files of their
// Message-ID (see writeChanges).
DepartedUids departedUids(MailIndex& index, std::int64_t folderId, const FolderChanges& changes) {
    DepartedUids departed;
    if (changes.added.empty() || changes.removed.empty()) {
        return departed;
    }
    UniqueNames goneEverywhere;
    for (const auto& [dir, name] : changes.removed) {
        goneEverywhere.insert(uniqueNameOf(name));
    }
    for (const auto& names : changes.present) {
        eraseListed(names, goneEverywhere);
    }
    for (const auto& [dir, name] : changes.removed) {
        if (!goneEverywhere.contains(uniqueNameOf(name))) {
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

// Puts the `count` newest new files last, in order, and leaves the rest for
// later: a first page needs only them, and ordering a million names takes
// longer than reading them.
void orderNewest(FolderChanges& changes, std::size_t count) {
    auto before = [&changes](const NewFile& a, const NewFile& b) { return changes.before(a, b); };
    auto& added = changes.added;
    changes.ordered = added.size() - std::min(count, added.size());
    std::nth_element(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(changes.ordered), added.end(), before);
    std::sort(added.begin() + static_cast<std::ptrdiff_t>(changes.ordered), added.end(), before);
}

void orderTheRest(FolderChanges& changes) {
    auto before = [&changes](const NewFile& a, const NewFile& b) { return changes.before(a, b); };
    std::sort(changes.added.begin(), changes.added.begin() + static_cast<std::ptrdiff_t>(changes.ordered), before);
    changes.ordered = 0;
}

// Lists each directory whose modification time moved and compares its names
// with the index's.
FolderChanges findChanges(MailIndex& index, const MaildirFolder& folder, std::int64_t folderId) {
    DirectoryStamps stored = index.stamps(folderId);
    FolderChanges changes;
    std::int64_t lookedAt = nowNanos();
    std::array<std::vector<std::uint32_t>, 2> arrived;
    std::array<std::vector<std::string>, 2> gone;
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
        changes.present[d] = messageFileNames(path);
        compareWithIndex(index, folderId, dir, changes.present[d], arrived[d], gone[d]);
    }
    if (!gone[0].empty() || !gone[1].empty()) {
        keepRenamedFiles(folder, changes.present, arrived, gone, listed);
    }
    for (std::size_t d = 0; d < 2; ++d) {
        for (auto& name : gone[d]) {
            changes.removed.emplace_back(kDirectories[d], std::move(name));
        }
        for (std::uint32_t at : arrived[d]) {
            std::string_view name = changes.present[d][at];
            std::size_t base = std::min(name.find(":2,"), name.size());
            changes.added.push_back({at, static_cast<std::uint16_t>(base), static_cast<std::uint8_t>(d)});
        }
        arrived[d] = {};
    }
    changes.departed = departedUids(index, folderId, changes);
    orderNewest(changes, kFirstBatchSize);
    return changes;
}

}  // namespace

struct FolderSync::Changes {
    FolderChanges found;
    ProgressLog progress;
    std::size_t left;    // found.added[0, left) are still to write, the newest last
    std::size_t unread;  // found.added[0, unread) are still to read
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
    changes_ =
        std::make_unique<Changes>(Changes{std::move(found), ProgressLog(account_, folder_, added), added, added});
}

FolderSync::~FolderSync() = default;
FolderSync::FolderSync(FolderSync&&) noexcept = default;
FolderSync& FolderSync::operator=(FolderSync&&) noexcept = default;

bool FolderSync::started() const { return done_ || changes_->started; }

std::unique_ptr<FolderSync::Batch> FolderSync::readBatch() {
    if (done_ || (changes_->unread == 0 && !changes_->found.added.empty())) {
        return nullptr;
    }
    FolderChanges& found = changes_->found;
    bool first = changes_->unread == found.added.size();
    if (!first && found.ordered > 0) {
        orderTheRest(found);
    }
    std::size_t end = changes_->unread;
    std::size_t begin = end - std::min(end, first ? kFirstBatchSize : kBatchSize);
    changes_->unread = begin;
    std::vector<FileToRead> files;
    for (std::size_t i = begin; i < end; ++i) {
        const NewFile& file = found.added[i];
        files.push_back(fileToRead(kDirectories[file.directory], found.nameOf(file)));
    }
    auto batch = std::make_unique<Batch>(
        Batch{begin, end, {}, headSummaries(files, folder_.path, first ? Awaited::yes : Awaited::no)});
    for (auto& file : files) {
        batch->uniqueNames.push_back(std::move(file.uniqueName));
    }
    return batch;
}

void FolderSync::writeBatch(MailIndex& index, Batch& batch, const ToldByWatch& toldByWatch) {
    Changes& changes = *changes_;
    std::size_t added = changes.found.added.size();
    sqlite::Transaction transaction = index.transaction();
    if (!changes.started) {
        for (const auto& [dir, name] : changes.found.removed) {
            if (!toldByWatch.contains({dir, name})) {
                index.remove(folderId_, dir, name);
            }
        }
        changes.firstUid = added == 0 ? 0 : index.reserveUids(account_, added);
    }
    for (std::size_t i = batch.begin; i < batch.end; ++i) {
        auto& summary = batch.summaries[i - batch.begin];
        if (summary && !toldByWatch.contains({summary->dir, summary->name})) {
            summary->uid =
                index.uidFor(account_, folderId_, batch.uniqueNames[i - batch.begin],
                             {takeDeparted(changes.found.departed, summary->messageId), changes.firstUid + i});
            index.insert(folderId_, *summary);
        }
    }
    changes.started = true;
    changes.left = batch.begin;
    // Set only by the last batch: the next one's reader may be looking.
    if (batch.begin == 0) {
        done_ = true;
        index.countMessages(folderId_);
        index.setStamps(folderId_, changes.found.stamps);
    }
    transaction.commit();
    std::size_t written = added - batch.begin;
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
    FileToRead file{dir, name, std::move(entry->uniqueName), hasFlag(entry->flags, "seen")};
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
