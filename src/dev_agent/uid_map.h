#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillbrook::dev_agent {

// Message UIDs of one account.
//
// A Maildir has no UIDs of its own, only file names whose first part (the unique
// name) never changes. The agent gives each unique name an integer the first time
// it sees it, counting up from 1 per account, and keeps the pairs in a small state
// file written atomically. A message therefore keeps its UID across restarts and
// whatever else arrives, a UID is never given to a second message (numbers of
// messages that went away are not reused), and because the counter is per account
// and not per folder, a UID alone names the message a reply refers to. Names seen
// together are numbered in name order, which for Maildir names is arrival order.
class UidMap {
public:
    // Loads `statePath` when it exists; throws std::runtime_error when the file is
    // damaged, since starting afresh would silently renumber every message.
    explicit UidMap(std::string statePath);

    // Gives a UID to every name not seen before and saves the map if anything was
    // new. Throws std::system_error when the state cannot be saved.
    void assign(const std::vector<std::string>& uniqueNames);

    std::optional<std::uint64_t> uidOf(const std::string& uniqueName) const;
    std::optional<std::string> nameOf(std::uint64_t uid) const;

private:
    void save() const;

    std::string statePath_;
    std::uint64_t nextUid_ = 1;
    std::unordered_map<std::string, std::uint64_t> byName_;
    std::map<std::uint64_t, std::string> byUid_;
};

}  // namespace quillbrook::dev_agent
