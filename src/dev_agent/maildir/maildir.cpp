#include "dev_agent/maildir/maildir.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent/base/text.h"
#include "dev_agent/maildir/modified_utf7.h"
#include "util/files.h"
#include "util/io.h"

namespace quillbrook::dev_agent {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInfoSeparator = ":2,";

// Maildir flag letters in the order the format defines them.
constexpr std::pair<char, std::string_view> kFlagNames[] = {
    {'D', "draft"}, {'F', "flagged"}, {'P', "passed"}, {'R', "answered"}, {'S', "seen"}, {'T', "trashed"},
};

// How a folder's name is compared with the name a request gives.
using NameMatch = bool (*)(std::string_view known, std::string_view wanted);

bool sameName(std::string_view known, std::string_view wanted) { return known == wanted; }

bool sameNameIgnoringCase(std::string_view known, std::string_view wanted) {
    return asciiLower(known) == asciiLower(wanted);
}

constexpr NameMatch kNameMatches[] = {sameName, sameNameIgnoringCase};

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The host part of a unique name may not hold the characters that separate the
// name's own parts.
std::string hostPart() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "localhost";
    }
    std::string out;
    for (const char* p = host; *p != '\0'; ++p) {
        if (*p == '/') {
            out += "\\057";
        } else if (*p == ':') {
            out += "\\072";
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

}  // namespace

std::optional<MaildirEntry> parseMaildirFileName(std::string_view fileName) {
    // Any other bytes make a name: it is never shown, only its UID and flags are.
    if (fileName.empty() || fileName.front() == '.') {
        return std::nullopt;
    }
    MaildirEntry entry;
    auto info = fileName.find(kInfoSeparator);
    entry.uniqueName = std::string(fileName.substr(0, info));
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

std::vector<std::string> messageFileNames(const std::string& directory) {
    std::vector<std::string> names;
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
        if (mayBeFile && parseMaildirFileName(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    if (errno != 0) {
        throwErrno("cannot list " + directory);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<MaildirEntry> findByUniqueName(const std::string& folderPath, std::string_view uniqueName) {
    for (const char* sub : {"/cur/", "/new/"}) {
        for (const auto& name : messageFileNames(folderPath + sub)) {
            std::optional<MaildirEntry> entry = parseMaildirFileName(name);
            if (entry->uniqueName == uniqueName) {
                entry->path = folderPath + sub + name;
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

std::vector<MaildirFolder> discoverMaildirFolders(const std::string& root) {
    std::vector<MaildirFolder> subfolders;
    std::error_code error;
    for (const auto& dir : fs::directory_iterator(root, error)) {
        std::string name = dir.path().filename().string();
        if (name.size() < 2 || name.front() != '.' || name == ".." || !isMaildir(dir.path().string())) {
            continue;
        }
        std::string stored = name.substr(1);
        std::replace(stored.begin(), stored.end(), '.', '/');
        std::string shown = decodeModifiedUtf7(stored);
        subfolders.push_back({shown, dir.path().string(), shown == stored ? std::string() : stored});
    }
    std::sort(subfolders.begin(), subfolders.end(),
              [](const MaildirFolder& a, const MaildirFolder& b) { return a.name < b.name; });
    std::vector<MaildirFolder> folders{{"INBOX", root, ""}};
    folders.insert(folders.end(), subfolders.begin(), subfolders.end());
    return folders;
}

std::optional<MaildirFolder> findMaildirFolder(const std::string& root, std::string_view name) {
    std::vector<MaildirFolder> folders = discoverMaildirFolders(root);
    for (NameMatch matches : kNameMatches) {
        for (const auto& folder : folders) {
            if (matches(folder.name, name) || (!folder.storedName.empty() && matches(folder.storedName, name))) {
                return folder;
            }
        }
    }
    return std::nullopt;
}

std::string deliverToMaildir(const std::string& folderPath, std::string_view message) {
    for (const char* sub : {"/tmp", "/new", "/cur"}) {
        makeDirectories(folderPath + sub, 0700);
    }
    static const std::string host = hostPart();
    std::string uniqueName = uniqueFileStem() + "." + host;
    publishFile(folderPath + "/tmp/" + uniqueName, folderPath + "/new/" + uniqueName, message, 0600);
    return uniqueName;
}

}  // namespace quillbrook::dev_agent
