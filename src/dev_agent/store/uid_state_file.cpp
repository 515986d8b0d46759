#include "dev_agent/store/uid_state_file.h"

#include <set>
#include <stdexcept>

#include <sys/stat.h>

#include "dev_agent/base/text.h"
#include "json/json.h"
#include "util/files.h"

namespace quillbrook::dev_agent {

namespace {

[[noreturn]] void damaged(const std::string& path, const std::string& why) {
    throw std::runtime_error("UID state file " + path + " is damaged (" + why +
                             "); move it away to number the messages afresh");
}

// Parsed integers arrive signed; only positive ones are UIDs or counters.
std::optional<std::uint64_t> positiveInteger(const json::Value& value) {
    if (!value.is_number_integer() || value.get<std::int64_t>() <= 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(value.get<std::int64_t>());
}

bool isSafeFileNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '.' || c == '-' || c == '_';
}

}  // namespace

std::string uidStateFilePath(const std::string& stateDir, const std::string& email) {
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

std::optional<UidStateFile> readUidStateFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    auto document = json::parseStrict(readWholeFile(path));
    if (!document || !document->root().isObject()) {
        damaged(path, "not a JSON object");
    }
    json::Value state = document->root().toValue();
    auto next = positiveInteger(state["nextUid"]);
    const json::Value& uids = state["uids"];
    if (!next || !uids.is_object()) {
        damaged(path, "\"nextUid\" or \"uids\" missing");
    }
    UidStateFile file;
    file.nextUid = *next;
    std::set<std::uint64_t> taken;
    for (const auto& [name, value] : uids.items()) {
        auto uid = positiveInteger(value);
        if (!uid || *uid >= file.nextUid || !taken.insert(*uid).second) {
            damaged(path, "bad UID for " + name);
        }
        file.uids[name] = *uid;
    }
    return file;
}

}  // namespace quillbrook::dev_agent
