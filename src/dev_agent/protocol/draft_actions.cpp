#include <algorithm>

#include "dev_agent/base/text.h"
#include "dev_agent/mime/message_composer.h"
#include "dev_agent/protocol/actions.h"
#include "dev_agent/protocol/agent_error.h"
#include "dev_agent/protocol/params.h"

// The draft actions. The agent writes drafts and nothing else: a local draft is a
// new file in the drafts directory, a server draft a new message in the account's
// Drafts folder. Nothing is ever sent, changed or deleted.

namespace quillbrook::dev_agent {

namespace {

// In-Reply-To and References of a reply, per RFC 5322 3.6.4: the parent's
// References (or else its In-Reply-To) followed by the parent's Message-ID.
struct Threading {
    std::string inReplyTo;
    std::string inReplyToUid;
    std::vector<std::string> references;

    void addReference(const std::string& id) {
        if (!id.empty() && std::find(references.begin(), references.end(), id) == references.end()) {
            references.push_back(id);
        }
    }
};

FoundMessage messageByUid(ActionContext& context, const Account& account, std::uint64_t uid, const char* param) {
    if (auto found = context.mail.find(account, uid)) {
        return std::move(*found);
    }
    throw AgentError::notFound(std::string("\"") + param + "\": no message with UID " + std::to_string(uid) + " in " +
                               account.email);
}

Threading threadingFor(ActionContext& context, const Account& account, const Params& params) {
    Threading threading;
    if (auto uid = params.optionalUid("in_reply_to")) {
        FoundMessage parent = messageByUid(context, account, *uid, "in_reply_to");
        threading.inReplyTo = parent.message.messageId;
        threading.inReplyToUid = std::to_string(*uid);
        for (const auto& id : parent.message.references) {
            threading.addReference(id);
        }
        if (parent.message.references.empty()) {
            threading.addReference(parent.message.inReplyTo);
        }
        threading.addReference(parent.message.messageId);
    }
    // Extra references come as message ids or as UIDs of the account's messages.
    for (const auto& reference : params.optionalStringArray("references").value_or(std::vector<std::string>{})) {
        if (isMessageId(reference)) {
            threading.addReference(reference);
        } else if (auto uid = parseUid(reference)) {
            threading.addReference(messageByUid(context, account, *uid, "references").message.messageId);
        } else {
            throw AgentError::badRequest("\"references\": " + quotedText(reference) +
                                         " is neither a message id in angle brackets nor a UID");
        }
    }
    return threading;
}

void checkRecipients(const char* name, const std::string& addresses, bool required) {
    if (!required && addresses.empty()) {
        return;
    }
    if (auto problem = addressListProblem(addresses)) {
        throw AgentError::badRequest(std::string("\"") + name + "\": " + *problem);
    }
}

// A message in a mail folder cannot carry U+0000: the composer's text would end
// there and the draft would say less than was sent. A local draft keeps it.
void checkNoNul(const OutgoingMessage& message) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"to", &message.to},           {"cc", &message.cc},     {"bcc", &message.bcc},
        {"subject", &message.subject}, {"body", &message.body}, {"bodyHTML", &message.bodyHTML},
    };
    for (const auto& [name, value] : fields) {
        if (value->find('\0') != std::string::npos) {
            throw AgentError::badRequest(std::string("\"") + name +
                                         "\" holds U+0000, which a server draft cannot carry");
        }
    }
}

std::string senderOf(const Account& account) {
    return account.name.empty() ? account.email : account.name + " <" + account.email + ">";
}

json::Value draftSummary(const json::Value& draft) {
    json::Value summary = json::Value::object();
    for (const char* key : {"id", "account", "to", "subject", "createdAt", "inReplyTo"}) {
        if (const json::Value* member = draft.find(key)) {
            summary[key] = *member;
        }
    }
    const json::Value* body = draft.find("body");
    summary["snippet"] = body != nullptr && body->isString() ? snippetOf(body->string(), kSnippetChars) : "";
    return summary;
}

}  // namespace

json::Value createDraft(ActionContext& context, const Params& params) {
    OutgoingMessage message;
    message.to = params.requiredString("to");
    message.subject = params.requiredString("subject");
    message.body = params.requiredString("body");
    message.cc = params.optionalString("cc").value_or("");
    message.bcc = params.optionalString("bcc").value_or("");
    message.bodyHTML = params.optionalString("bodyHTML").value_or("");
    std::string target = params.optionalString("target").value_or("local");
    if (target != "local" && target != "server") {
        throw AgentError::badRequest("\"target\" must be \"local\" or \"server\", not " + quotedText(target));
    }
    if (target == "server") {
        checkNoNul(message);
    }
    checkRecipients("to", message.to, true);
    checkRecipients("cc", message.cc, false);
    checkRecipients("bcc", message.bcc, false);
    const Account& account = accountFor(context, params.optionalString("account"));
    Threading threading = threadingFor(context, account, params);
    message.fromName = account.name;
    message.fromEmail = account.email;
    message.inReplyTo = threading.inReplyTo;
    message.references = threading.references;

    if (target == "server") {
        ComposedMessage composed = composeMessage(message);
        MailStore::SavedDraft saved = context.mail.saveDraft(account, composed.text);
        return {{"target", "server"},
                {"account", account.email},
                {"folder", saved.folder},
                {"uid", std::to_string(saved.uid)},
                {"messageId", composed.messageId},
                {"subject", message.subject},
                {"inReplyTo", threading.inReplyTo},
                {"references", threading.references}};
    }
    json::Value draft = {{"target", "local"},
                         {"account", account.email},
                         {"from", senderOf(account)},
                         {"to", message.to},
                         {"cc", message.cc},
                         {"bcc", message.bcc},
                         {"subject", message.subject},
                         {"body", message.body},
                         {"bodyHTML", message.bodyHTML},
                         {"inReplyTo", threading.inReplyTo},
                         {"inReplyToUid", threading.inReplyToUid},
                         {"references", threading.references}};
    return context.drafts.create(std::move(draft));
}

json::Value listLocalDrafts(ActionContext& context, const Params& params) {
    std::optional<std::string> filter = params.optionalString("account");
    if (filter) {
        filter = accountFor(context, filter).email;
    }
    json::Value drafts = json::Value::array();
    for (const auto& draft : context.drafts.list()) {
        const json::Value* account = draft.find("account");
        bool matches = !filter || (account != nullptr && account->isString() &&
                                   asciiLower(account->string()) == asciiLower(*filter));
        if (matches) {
            drafts.pushBack(draftSummary(draft));
        }
    }
    return {{"drafts", std::move(drafts)}};
}

json::Value readLocalDraft(ActionContext& context, const Params& params) {
    std::string id = params.requiredString("draft_id");
    if (auto draft = context.drafts.read(id)) {
        return std::move(*draft);
    }
    throw AgentError::notFound("no local draft " + quotedText(id));
}

}  // namespace quillbrook::dev_agent
