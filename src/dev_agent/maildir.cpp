#include "dev_agent/maildir.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "dev_agent/files.h"
#include "dev_agent/text.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInfoSeparator = ":2,";

// Maildir flag letters in the order the format defines them.
constexpr std::pair<char, std::string_view> kFlagNames[] = {
    {'D', "draft"}, {'F', "flagged"}, {'P', "passed"}, {'R', "answered"}, {'S', "seen"}, {'T', "trashed"},
};

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
    // A name that is not UTF-8 could not be written into the UID state.
    if (fileName.empty() || fileName.front() == '.' || !utf8::isValid(fileName)) {
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

std::vector<MaildirEntry> listMaildirMessages(const std::string& folderPath) {
    std::vector<MaildirEntry> entries;
    for (const char* sub : {"/cur", "/new"}) {
        std::error_code error;
        for (const auto& file : fs::directory_iterator(folderPath + sub, error)) {
            if (!file.is_regular_file(error)) {
                continue;
            }
            if (auto entry = parseMaildirFileName(file.path().filename().string())) {
                entry->path = file.path().string();
                entries.push_back(std::move(*entry));
            }
        }
    }
    return entries;
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
        std::string display = name.substr(1);
        std::replace(display.begin(), display.end(), '.', '/');
        subfolders.push_back({display, dir.path().string()});
    }
    std::sort(subfolders.begin(), subfolders.end(),
              [](const MaildirFolder& a, const MaildirFolder& b) { return a.name < b.name; });
    std::vector<MaildirFolder> folders{{"INBOX", root}};
    folders.insert(folders.end(), subfolders.begin(), subfolders.end());
    return folders;
}

std::optional<MaildirFolder> findMaildirFolder(const std::string& root, std::string_view name) {
    std::vector<MaildirFolder> folders = discoverMaildirFolders(root);
    for (const auto& folder : folders) {
        if (folder.name == name) {
            return folder;
        }
    }
    std::string wanted = asciiLower(name);
    for (const auto& folder : folders) {
        if (asciiLower(folder.name) == wanted) {
            return folder;
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
