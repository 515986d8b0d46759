#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace quillbrook::dev_agent {

// The UID state file of earlier versions of the agent: one JSON file per account,
// {"nextUid":N,"uids":{"<unique name>":UID,...}}. The index takes it over once;
// nothing writes it any more.
struct UidStateFile {
    std::uint64_t nextUid = 1;
    std::map<std::string, std::uint64_t> uids;
};

// Where that file of `email` lives: characters that are unsafe in a file name
// are written as %XX, so no two addresses share a file.
std::string uidStateFilePath(const std::string& stateDir, const std::string& email);

// Nothing when there is no file; throws std::runtime_error when it is damaged,
// since starting afresh would silently renumber every message.
std::optional<UidStateFile> readUidStateFile(const std::string& path);

}  // namespace quillbrook::dev_agent
