#include <algorithm>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/actions.h"
#include "dev_agent/protocol/agent_error.h"
#include "dev_agent/protocol/params.h"

// The reading actions: accounts, folders, message lists and single messages.

namespace quillbrook::dev_agent {

namespace {

constexpr std::int64_t kDefaultLimit = 50;
constexpr std::int64_t kMaxLimit = 200;

MaildirFolder folderFor(const Account& account, const std::string& name) {
    if (auto folder = findMaildirFolder(treeOf(account), name)) {
        return *folder;
    }
    std::string known =
        commaJoined(discoverMaildirFolders(treeOf(account)), [](const MaildirFolder& folder) { return folder.name; });
    throw AgentError::notFound("no folder " + quotedText(name) + " in " + account.email + "; folders: " + known);
}

// The folder parameter; an empty one means INBOX, like an absent one.
std::string folderName(const Params& params) {
    std::string name = params.optionalString("folder").value_or("");
    return name.empty() ? "INBOX" : name;
}

json::Value attachmentsJson(const std::vector<Attachment>& attachments) {
    json::Value list = json::Value::array();
    for (const auto& attachment : attachments) {
        list.pushBack(
            {{"filename", attachment.filename}, {"contentType", attachment.contentType}, {"size", attachment.size}});
    }
    return list;
}

}  // namespace

json::Value listAccounts(ActionContext& context, const Params&) {
    json::Value accounts = json::Value::array();
    for (const auto& account : context.mail.accounts()) {
        accounts.pushBack({{"email", account.email}, {"name", account.name}, {"isDefault", accounts.empty()}});
    }
    return {{"accounts", std::move(accounts)}};
}

json::Value listFolders(ActionContext& context, const Params& params) {
    const Account& account = accountFor(context, params.requiredString("account"));
    json::Value folders = json::Value::array();
    for (const auto& counts : context.mail.folders(account)) {
        json::Value folder = {{"name", counts.folder.name}, {"total", counts.total}, {"unread", counts.unread}};
        if (counts.indexing) {
            folder["indexing"] = true;  // as on a page of the folder
        }
        folders.pushBack(std::move(folder));
    }
    return {{"account", account.email}, {"folders", std::move(folders)}};
}

json::Value listEmails(ActionContext& context, const Params& params) {
    const Account& account = accountFor(context, params.optionalString("account"));
    MaildirFolder folder = folderFor(account, folderName(params));
    std::int64_t limit =
        std::clamp(params.optionalInteger("limit").value_or(kDefaultLimit), std::int64_t{1}, kMaxLimit);

    FolderPage page = context.mail.list(account, folder, static_cast<std::size_t>(limit));
    json::Value emails = json::Value::array();
    for (const auto& message : page.messages) {
        const MessageSummary& summary = message.summary;
        emails.pushBack({{"uid", std::to_string(message.uid)},
                         {"from", summary.from},
                         {"fromName", summary.fromName},
                         {"subject", summary.subject},
                         {"date", summary.date},
                         {"snippet", summary.snippet},
                         {"flags", message.flags},
                         {"hasAttachments", summary.hasAttachments}});
    }
    json::Value answer = {
        {"account", account.email}, {"folder", folder.name}, {"total", page.total}, {"emails", std::move(emails)}};
    if (page.indexing) {
        // Only while the folder is indexed: the order and total may still change.
        answer["indexing"] = true;
    }
    return answer;
}

json::Value readEmail(ActionContext& context, const Params& params) {
    const Account& account = accountFor(context, params.optionalString("account"));
    MaildirFolder folder = folderFor(account, folderName(params));
    std::uint64_t uid = params.requiredUid("uid");

    std::optional<FoundMessage> found = context.mail.read(account, folder, uid);
    if (!found) {
        std::string hint;
        if (auto elsewhere = context.mail.find(account, uid)) {
            hint = " (it is in " + elsewhere->folder + ")";
        }
        throw AgentError::notFound("no message with UID " + std::to_string(uid) + " in " + folder.name + " of " +
                                   account.email + hint);
    }
    ParsedMessage& message = found->message;
    if (message.cut) {
        message.body += kCutNote;
    }
    return {{"uid", std::to_string(uid)},
            {"account", account.email},
            {"folder", folder.name},
            {"from", message.from},
            {"fromName", message.fromName},
            {"to", message.to},
            {"cc", message.cc},
            {"subject", message.subject},
            {"date", message.date},
            {"body", message.body},
            {"bodyHTML", message.bodyHTML},
            {"messageId", message.messageId},
            {"inReplyTo", message.inReplyTo},
            {"references", message.references},
            {"attachments", attachmentsJson(message.attachments)},
            {"flags", found->entry.flags}};
}

}  // namespace quillbrook::dev_agent
