#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dev_agent/maildir/maildir.h"
#include "dev_agent/store/mail_index.h"

namespace quillbrook::dev_agent {

// Brings the index of one folder in line with its cur/ and new/ directories.
//
// A Maildir file never changes under its name (a new flag renames it), so the
// directories' modification times tell whether anything arrived, moved or went
// away. A directory whose time differs from the one the index kept is listed
// and compared by file name; only the files that are new to the index are
// opened, and of those only the header is read. Everything else is taken from
// the index as it is. A time that is younger than a few seconds is not kept,
// since a change within the file system's clock tick would not move it.
//
// The changes are written in batches of one transaction each, the newest
// messages (by the delivery time their names begin with) first, so that a
// folder being indexed can already show its first page; the UIDs still follow
// arrival. The first batch is small, for that first page. Never writes to the
// Maildir.
class FolderSync {
public:
    // Lists the directories whose times moved and compares them with `index`.
    FolderSync(MailIndex& index, std::string account, MaildirFolder folder, std::int64_t folderId);
    ~FolderSync();
    FolderSync(FolderSync&&) noexcept;
    FolderSync& operator=(FolderSync&&) noexcept;

    // Batches are read from the files (readBatch, which takes no turn at the
    // index) and written (writeBatch) in the order they were read; the
    // directories' times go with the last, so that a folder left half done is
    // looked at again. One thread may read the next batch while another
    // writes the one before it, as long as that one is not the last (its
    // `begin` is not 0); otherwise one thread at a time.
    struct Batch {
        std::size_t begin;
        std::size_t end;
        std::vector<std::string> uniqueNames;
        std::vector<std::optional<IndexedMessage>> summaries;
    };
    std::unique_ptr<Batch> readBatch();
    // Files the watch told of since the listing began, arrived or gone: their
    // rows are the watch's to write, and a batch read before the news would
    // write a file that is gone, or half of one written in place.
    using ToldByWatch = std::set<std::pair<MailDirectory, std::string>>;
    void writeBatch(MailIndex& index, Batch& batch, const ToldByWatch& toldByWatch = {});
    // Whether a first batch has been written.
    bool started() const;
    bool done() const { return done_; }
    // How many messages the folder holds once done, as far as the listing tells.
    std::size_t expectedTotal() const { return expectedTotal_; }

private:
    struct Changes;
    std::string account_;
    MaildirFolder folder_;
    std::int64_t folderId_;
    std::unique_ptr<Changes> changes_;
    std::size_t expectedTotal_ = 0;
    bool done_ = false;
};

// The UIDs of messages gone from a folder, by Message-ID: a sync tool may give
// a file a new unique name of its own (offlineimap does, once it has uploaded
// the file), and the file under its new name keeps the UID.
using DepartedUids = std::multimap<std::string, std::uint64_t>;

// A file that a directory watch saw arrive or leave: its row written or
// removed, the folder's totals moved by it. `departed` carries the UIDs of
// messages that left to the files that arrive after them, among the events
// read together (a rename's two events are).
void fileArrived(MailIndex& index, const std::string& account, const MaildirFolder& folder, std::int64_t folderId,
                 MailDirectory dir, const std::string& name, DepartedUids& departed);
void fileLeft(MailIndex& index, std::int64_t folderId, MailDirectory dir, const std::string& name,
              DepartedUids& departed);

}  // namespace quillbrook::dev_agent
