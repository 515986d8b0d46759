#include "dev_agent/maildir/maildir.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/files.h"
#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kInfoSeparator = ":2,";

// A draft is saved as mail programs save one: read, and flagged as a draft.
constexpr std::string_view kDraftFlags = "DS";

// Maildir flag letters in the order the format defines them.
constexpr std::pair<char, std::string_view> kFlagNames[] = {
    {'D', "draft"}, {'F', "flagged"}, {'P', "passed"}, {'R', "answered"}, {'S', "seen"}, {'T', "trashed"},
};

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The characters the host part of a unique name may not hold, since they
// separate the name's own parts, and how they are written instead.
constexpr std::pair<char, std::string_view> kHostEscapes[] = {{'/', "\\057"}, {':', "\\072"}, {',', "\\054"}};

std::string hostPart() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "localhost";
    }
    std::string out;
    for (const char* p = host; *p != '\0'; ++p) {
        auto escape = std::find_if(std::begin(kHostEscapes), std::end(kHostEscapes),
                                   [p](const auto& pair) { return pair.first == *p; });
        if (escape != std::end(kHostEscapes)) {
            out += escape->second;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

// The parts that sync tools add to a unique name to record a UID of their own
// (mbsync's ",U=17", offlineimap's ",U=17,FMD5=<md5 of the folder name>"),
// each a field after a comma: the name before its value and the characters
// the value is made of.
struct SyncToolField {
    std::string_view name;
    bool (*valueChar)(char);
};

constexpr SyncToolField kSyncToolFields[] = {
    {"U=", [](char c) { return c >= '0' && c <= '9'; }},
    {"FMD5=", [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }},
};

bool isSyncToolField(std::string_view field) {
    return std::any_of(std::begin(kSyncToolFields), std::end(kSyncToolFields), [field](const SyncToolField& known) {
        std::string_view value = field.substr(std::min(field.size(), known.name.size()));
        return field.starts_with(known.name) && !value.empty() &&
               std::all_of(value.begin(), value.end(), known.valueChar);
    });
}

// `base` (a file name before its ":2,") without the sync tools' fields.
std::string withoutSyncToolFields(std::string_view base) {
    std::string kept(base.substr(0, base.find(',')));
    for (std::size_t comma = base.find(','); comma != std::string_view::npos;) {
        std::size_t next = base.find(',', comma + 1);
        std::string_view field = base.substr(comma + 1, next == std::string_view::npos ? next : next - comma - 1);
        if (!isSyncToolField(field)) {
            kept.append(",").append(field);
        }
        comma = next;
    }
    return kept;
}

}  // namespace

bool isMessageFileName(std::string_view fileName) { return !fileName.empty() && fileName.front() != '.'; }

std::optional<MaildirEntry> parseMaildirFileName(std::string_view fileName) {
    // Any other bytes make a name: it is never shown, only its UID and flags are.
    if (!isMessageFileName(fileName)) {
        return std::nullopt;
    }
    MaildirEntry entry;
    auto info = fileName.find(kInfoSeparator);
    entry.uniqueName = withoutSyncToolFields(fileName.substr(0, info));
    if (info != std::string_view::npos) {
        std::string_view letters = fileName.substr(info + kInfoSeparator.size());
        for (const auto& [letter, name] : kFlagNames) {
            if (letters.find(letter) != std::string_view::npos) {
                entry.flags.emplace_back(name);
            }
        }
    }
    return entry;
}

FileNames messageFileNames(const std::string& directory) {
    FileNames names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) {
        if (errno == ENOENT) {
            return names;
        }
        throwErrno("cannot list " + directory);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        // Types other than these are not files; an unknown type is checked on opening.
        bool mayBeFile = entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        if (mayBeFile && isMessageFileName(entry->d_name)) {
            names.add(entry->d_name);
        }
    }
    if (errno != 0) {
        throwErrno("cannot list " + directory);
    }
    return names;
}

std::optional<MaildirEntry> findByUniqueName(const std::string& folderPath, std::string_view uniqueName) {
    for (const char* sub : {"/cur/", "/new/"}) {
        for (std::string_view name : messageFileNames(folderPath + sub)) {
            std::optional<MaildirEntry> entry = parseMaildirFileName(name);
            if (entry->uniqueName == uniqueName) {
                entry->path = folderPath + sub + std::string(name);
                return entry;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> deliveryTimeOf(const MaildirEntry& entry) {
    const std::string& name = entry.uniqueName;
    std::int64_t seconds = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), seconds);
    if (error == std::errc() && end != name.data() && end < name.data() + name.size() && *end == '.' && seconds > 0) {
        return seconds;
    }
    struct stat info {};
    if (::stat(entry.path.c_str(), &info) == 0) {
        return static_cast<std::int64_t>(info.st_mtime);
    }
    return std::nullopt;
}

bool isMaildir(const std::string& path) { return isDirectory(path + "/cur") || isDirectory(path + "/new"); }

MaildirEntry saveDraftToMaildir(const std::string& folderPath, std::string_view message) {
    for (const char* sub : {"/tmp", "/new", "/cur"}) {
        makeDirectories(folderPath + sub, 0700);
    }
    static const std::string host = hostPart();
    std::string uniqueName = uniqueFileStem() + "." + host;
    std::string path = folderPath + "/cur/" + uniqueName;
    path.append(kInfoSeparator).append(kDraftFlags);
    publishFile(folderPath + "/tmp/" + uniqueName, path, message, 0600);
    return {uniqueName, path, {"draft", "seen"}};
}

}  // namespace quillbrook::dev_agent
