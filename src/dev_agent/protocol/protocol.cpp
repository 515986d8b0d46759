#include "dev_agent/protocol/protocol.h"

#include <exception>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/agent_error.h"
#include "dev_agent/protocol/answer_fit.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

// The answer line without its result: {"ok":true,"result":}.
constexpr std::size_t kEnvelopeBytes = 21;

// A result too large for the line a client accepts is fitted to it: a client
// refuses a longer line whole, so a saved draft would read as a failure.
Answer resultAnswer(const std::string& action, json::Value result) {
    json::Value answer = {{"ok", true}, {"result", std::move(result)}};
    auto line = json::writeCompactSorted(answer);
    if (line && line->size() > kMaxAnswerBytes) {
        fitResult(answer["result"], kMaxAnswerBytes - kEnvelopeBytes);
        line = json::writeCompactSorted(answer);
    }
    if (!line) {
        Answer failed = errorAnswer("internal_error", "the result could not be written as JSON");
        failed.action = action;
        return failed;
    }
    return {*line + "\n", action, "ok", ""};
}

}  // namespace

Answer errorAnswer(const std::string& code, const std::string& message) {
    // A system error may quote a file name that is not UTF-8.
    auto line =
        json::writeCompactSorted(json::Value{{"ok", false}, {"code", code}, {"error", utf8::sanitized(message)}});
    return {line.value_or(R"({"code":"internal_error","error":"unwritable error","ok":false})") + "\n", "", code,
            message};
}

Answer answerRequest(ActionContext& context, std::string_view line) {
    std::string action;
    try {
        auto document = json::parseStrict(line);
        if (!document) {
            throw AgentError::badRequest("the request line is not valid JSON");
        }
        if (!document->root().isObject()) {
            throw AgentError::badRequest("the request must be a JSON object");
        }
        json::View request = document->root();
        auto member = request.find("action");
        if (!member) {
            throw AgentError::badRequest("missing \"action\"");
        }
        if (!member->isString()) {
            throw AgentError::badRequest("\"action\" must be a string");
        }
        action = *member->string();
        return resultAnswer(action, performAction(context, action, request));
    } catch (const AgentError& error) {
        Answer answer = errorAnswer(error.code(), error.what());
        answer.action = action;
        return answer;
    } catch (const std::exception& error) {
        Answer answer = errorAnswer("internal_error", error.what());
        answer.action = action;
        return answer;
    }
}

}  // namespace quillbrook::dev_agent
