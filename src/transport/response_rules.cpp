#include "transport/response_rules.h"

#include "transport/socket_error.h"

namespace quillbrook::MCPToolMapping {

json::Value withFolderDefault(const std::string& action, json::Value params) {
    if (action != "list_emails" && action != "read_email") {
        return params;
    }
    const json::Value* folder = params.find("folder");
    if (folder == nullptr || !folder->isString() || folder->string().empty()) {
        params["folder"] = kInboxFolder;
    }
    return params;
}

json::Document parseResponse(std::string line) {
    auto document = json::parseStrictInPlace(std::move(line));
    if (!document || !document->root().isObject()) {
        throw CLISocketError::server("bad_response", "unparseable server response");
    }
    json::View response = document->root();
    auto ok = response.find("ok");
    if (ok && ok->isTrue()) {
        auto result = response.find("result");
        if (!result || !result->isObject()) {
            return json::Document::emptyObject();
        }
        document->narrowTo(*result);
        return std::move(*document);
    }
    auto code = response.find("code");
    auto message = response.find("error");
    auto codeText = code ? code->string() : std::nullopt;
    auto messageText = message ? message->string() : std::nullopt;
    throw CLISocketError::server(std::string(codeText.value_or("error")),
                                 std::string(messageText.value_or("request failed")));
}

}  // namespace quillbrook::MCPToolMapping
