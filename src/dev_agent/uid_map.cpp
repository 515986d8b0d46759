#include "dev_agent/uid_map.h"

#include <algorithm>
#include <stdexcept>

#include <sys/stat.h>

#include "dev_agent/files.h"
#include "json/json.h"

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

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

UidMap::UidMap(std::string statePath) : statePath_(std::move(statePath)) {
    if (!exists(statePath_)) {
        return;
    }
    auto document = json::parseStrict(readWholeFile(statePath_));
    if (!document || !document->root().isObject()) {
        damaged(statePath_, "not a JSON object");
    }
    json::Value state = document->root().toValue();
    auto next = positiveInteger(state["nextUid"]);
    const json::Value& uids = state["uids"];
    if (!next || !uids.is_object()) {
        damaged(statePath_, "\"nextUid\" or \"uids\" missing");
    }
    nextUid_ = *next;
    for (const auto& [name, value] : uids.items()) {
        auto uid = positiveInteger(value);
        if (!uid || *uid >= nextUid_ || byUid_.count(*uid) != 0) {
            damaged(statePath_, "bad UID for " + name);
        }
        byName_[name] = *uid;
        byUid_[*uid] = name;
    }
}

void UidMap::assign(const std::vector<std::string>& uniqueNames) {
    std::vector<std::string> fresh;
    for (const auto& name : uniqueNames) {
        if (byName_.count(name) == 0) {
            fresh.push_back(name);
        }
    }
    if (fresh.empty()) {
        return;
    }
    std::sort(fresh.begin(), fresh.end());
    fresh.erase(std::unique(fresh.begin(), fresh.end()), fresh.end());
    for (const auto& name : fresh) {
        byName_[name] = nextUid_;
        byUid_[nextUid_] = name;
        ++nextUid_;
    }
    save();
}

std::optional<std::uint64_t> UidMap::uidOf(const std::string& uniqueName) const {
    auto found = byName_.find(uniqueName);
    return found == byName_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> UidMap::nameOf(std::uint64_t uid) const {
    auto found = byUid_.find(uid);
    return found == byUid_.end() ? std::nullopt : std::optional(found->second);
}

void UidMap::save() const {
    json::Value uids = json::Value::object();
    for (const auto& [name, uid] : byName_) {
        uids[name] = uid;
    }
    json::Value state = {{"nextUid", nextUid_}, {"uids", std::move(uids)}};
    auto text = json::writeCompactSorted(state);
    if (!text) {
        throw std::runtime_error("cannot encode UID state for " + statePath_);
    }
    writeFileAtomically(statePath_, *text + "\n");
}

}  // namespace quillbrook::dev_agent
