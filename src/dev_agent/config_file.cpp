#include "dev_agent/config_file.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sstream>
#include <system_error>
#include <vector>

#include <toml++/toml.h>

#include "dev_agent/base/text.h"
#include "util/agent_paths.h"
#include "util/files.h"

namespace quillbrook::dev_agent {
namespace {

[[noreturn]] void refuseAt(const std::string& file, toml::source_index line, const std::string& what) {
    throw ConfigurationError(file + ":" + std::to_string(line) + ": " + what);
}

// One value of the file, read as the type its key wants; anything else is
// refused at its line.
class Field {
public:
    Field(const std::string& file, std::string_view key, std::string_view where, const toml::node& node)
        : file_(file), key_(key), where_(where), node_(node) {}

    const std::string& file() const { return file_; }
    toml::source_index line() const { return node_.source().begin.line; }
    [[noreturn]] void refuse(const std::string& what) const { refuseAt(file_, line(), what); }

    const std::string& string() const {
        if (!node_.is_string()) {
            refuseType("a string");
        }
        return node_.as_string()->get();
    }

    bool boolean() const {
        if (!node_.is_boolean()) {
            refuseType("true or false");
        }
        return node_.as_boolean()->get();
    }

    double number() const {
        if (!node_.is_number()) {
            refuseType("a number");
        }
        // Not node::value<double>(), which has nothing for an integer no double holds exactly.
        return node_.is_integer() ? static_cast<double>(node_.as_integer()->get()) : node_.as_floating_point()->get();
    }

    // A string naming an absolute path, or one under the home directory ("~/Mail").
    std::string path() const {
        const std::string& text = string();
        if (text.starts_with("~/")) {
            std::string home = userHome();
            if (home.empty()) {
                refuse("no home directory for " + quotedText(text) + ": set HOME");
            }
            return joinPath(home, std::string_view(text).substr(2));
        }
        if (!text.starts_with('/')) {
            refuse(quotedText(key_) + where_ + " must be an absolute path or start with ~/, not " + quotedText(text));
        }
        return text;
    }

    const toml::array& arrayOfTables() const {
        if (!node_.is_array_of_tables()) {
            refuseType("an array of tables ([[" + std::string(key_) + "]])");
        }
        return *node_.as_array();
    }

private:
    [[noreturn]] void refuseType(const std::string& wanted) const {
        std::ostringstream type;
        type << node_.type();
        std::string found = type.str();
        std::string_view article =
            std::string_view("aeiou").find(found.front()) == std::string_view::npos ? "a " : "an ";
        refuse(quotedText(key_) + where_ + " must be " + wanted + ", not " + std::string(article) + found);
    }

    const std::string& file_;
    std::string_view key_;
    std::string where_;
    const toml::node& node_;
};

// A key the file may hold and what its value sets.
template <typename Target>
struct Key {
    std::string_view name;
    void (*set)(const Field& field, Target& target);
};

// Every key of `table` through its row of `keys`, in the order of the file, so
// that of several mistakes the first is reported; a key without a row is a typo.
template <typename Target, std::size_t N>
void readTable(const std::string& file, const toml::table& table, std::string_view where,
               const std::array<Key<Target>, N>& keys, Target& target) {
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (const auto& [key, node] : table) {
        entries.emplace_back(&key, &node);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first->source().begin < b.first->source().begin; });
    for (const auto& [key, node] : entries) {
        // A copy, not the binding: Clang 14 (the fuzz build) cannot capture a structured binding.
        const std::string_view name = key->str();
        auto row = std::find_if(keys.begin(), keys.end(), [name](const Key<Target>& k) { return k.name == name; });
        if (row == keys.end()) {
            refuseAt(file, key->source().begin.line, "unknown key " + quotedText(key->str()) + std::string(where));
        }
        row->set(Field(file, key->str(), where, *node), target);
    }
}

// One [[account]] table, with the lines that later checks name.
struct AccountEntry {
    Account account;
    bool isDefault = false;
    toml::source_index addressLine = 0;
    toml::source_index defaultLine = 0;
};

const std::array<Key<AccountEntry>, 6> kAccountKeys{{
    {"address",
     [](const Field& field, AccountEntry& entry) {
         if (!isEmailAddress(field.string())) {
             field.refuse(quotedText(field.string()) + " is not an e-mail address");
         }
         entry.account.email = field.string();
         entry.addressLine = field.line();
     }},
    {"name", [](const Field& field, AccountEntry& entry) { entry.account.name = field.string(); }},
    {"maildir", [](const Field& field, AccountEntry& entry) { entry.account.root = maildirRoot(field.path()); }},
    {"layout",
     [](const Field& field, AccountEntry& entry) {
         auto layout = maildirLayoutNamed(field.string());
         if (!layout) {
             field.refuse("unknown layout " + quotedText(field.string()) + " (auto, maildir++, verbatim or dotted)");
         }
         entry.account.layout = *layout;
     }},
    {"drafts-folder", [](const Field& field, AccountEntry& entry) { entry.account.draftsFolder = field.string(); }},
    {"default",
     [](const Field& field, AccountEntry& entry) {
         entry.isDefault = field.boolean();
         entry.defaultLine = field.line();
     }},
}};

// The accounts of the [[account]] tables, the default first.
std::vector<Account> readAccounts(const Field& field) {
    std::vector<Account> accounts;
    std::vector<AccountEntry> entries;
    for (const toml::node& node : field.arrayOfTables()) {
        const toml::table& table = *node.as_table();
        toml::source_index line = table.source().begin.line;
        AccountEntry entry;
        readTable(field.file(), table, " in [[account]]", kAccountKeys, entry);
        if (entry.account.email.empty()) {
            refuseAt(field.file(), line, "[[account]] has no \"address\"");
        }
        if (entry.account.root.empty()) {
            refuseAt(field.file(), line, "[[account]] " + entry.account.email + " has no \"maildir\"");
        }
        if (const Account* same = findAccount(accounts, entry.account.email)) {
            refuseAt(field.file(), entry.addressLine,
                     "the address " + entry.account.email + " is given twice (first on line " +
                         std::to_string(entries[static_cast<std::size_t>(same - accounts.data())].addressLine) + ")");
        }
        auto earlierDefault = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.isDefault; });
        if (entry.isDefault && earlierDefault != entries.end()) {
            refuseAt(field.file(), entry.defaultLine,
                     "two default accounts: " + earlierDefault->account.email + " (line " +
                         std::to_string(earlierDefault->defaultLine) + ") and " + entry.account.email);
        }
        accounts.push_back(entry.account);
        entries.push_back(std::move(entry));
    }
    // The agent takes its first account for the default.
    auto chosen = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.isDefault; });
    if (chosen != entries.end()) {
        std::rotate(accounts.begin(), accounts.begin() + (chosen - entries.begin()),
                    accounts.begin() + (chosen - entries.begin()) + 1);
    }
    return accounts;
}

const std::array<Key<AgentSettings>, 5> kSettingKeys{{
    {"account", [](const Field& field, AgentSettings& settings) { settings.accounts = readAccounts(field); }},
    {"socket", [](const Field& field, AgentSettings& settings) { settings.socketPath = field.path(); }},
    {"drafts-dir", [](const Field& field, AgentSettings& settings) { settings.draftsDir = field.path(); }},
    {"state-dir", [](const Field& field, AgentSettings& settings) { settings.stateDir = field.path(); }},
    {"request-timeout",
     [](const Field& field, AgentSettings& settings) {
         double seconds = field.number();
         if (!(seconds >= kMinRequestTimeoutSeconds && seconds <= kMaxRequestTimeoutSeconds)) {
             std::ostringstream range;
             range << "\"request-timeout\" must be from " << kMinRequestTimeoutSeconds << " to "
                   << kMaxRequestTimeoutSeconds << " seconds";
             field.refuse(range.str());
         }
         settings.requestTimeout = requestTimeoutOf(seconds);
     }},
}};

}  // namespace

std::string defaultConfigFilePath() {
    const char* variable = std::getenv("XDG_CONFIG_HOME");
    std::string base = variable != nullptr && variable[0] == '/' ? variable : "";
    if (base.empty()) {
        std::string home = userHome();
        if (home.empty()) {
            return "";
        }
        base = joinPath(home, ".config");
    }
    return joinPath(base, "quillbrook/dev-agent.toml");
}

AgentSettings parseConfigFile(std::string_view text, const std::string& path) {
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& error) {
        refuseAt(path, error.source().begin.line, std::string(error.description()));
    }
    AgentSettings settings;
    readTable(path, root, "", kSettingKeys, settings);
    return settings;
}

std::optional<AgentSettings> readConfigFile(const std::string& path, bool mustExist) {
    std::string text;
    try {
        text = readWholeFile(path);
    } catch (const std::system_error& error) {
        if (!mustExist && error.code() == std::errc::no_such_file_or_directory) {
            return std::nullopt;
        }
        throw ConfigurationError(error.what());
    } catch (const NotARegularFile& error) {
        throw ConfigurationError(error.what());
    }
    return parseConfigFile(text, path);
}

}  // namespace quillbrook::dev_agent
