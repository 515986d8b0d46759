#include "transport/reply_draft.h"

#include "transport/reply_composer.h"

namespace quillbrook {

namespace {

void addAccount(json::Value& params, const ReplyRequest& reply) {
    if (reply.account) {
        params["account"] = *reply.account;
    }
}

}  // namespace

json::Value replyDraftParams(const ReplyRequest& reply, json::View original) {
    RepliedMessage message = repliedMessage(original);
    json::Value params = {
        {"subject", reply.subject.value_or(replySubject(message.subject))},
        {"body", replyBody(reply.body, message)},
        {"to", reply.to.value_or(message.from)},
        {"target", reply.target},
        {"in_reply_to", reply.messageId},
    };
    // A local draft keeps its thread by the UID alone.
    if (reply.target == "server") {
        params["references"] = json::Value::array({reply.messageId});
    }
    addAccount(params, reply);
    return params;
}

json::Document sendReplyDraft(const AgentSocketClient& client, const ReplyRequest& reply) {
    json::Value readParams = {{"uid", reply.messageId}, {"folder", reply.folder}};
    addAccount(readParams, reply);
    json::Document original = client.send("read_email", std::move(readParams));
    return client.send("create_draft", replyDraftParams(reply, original.root()));
}

}  // namespace quillbrook
