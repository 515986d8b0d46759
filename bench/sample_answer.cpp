#include "sample_answer.h"

#include <cstdio>

namespace quillbrook::bench {

std::string sampleAnswer(std::size_t bytes) {
    std::string emails;
    for (int i = 0; emails.size() + 64 < bytes; ++i) {
        char item[1024];
        std::snprintf(item, sizeof item,
                      R"(%s{"uid":"%d","subject":"Re: Quarterly plan \/ draft %d","from":"person%d@example.com",)"
                      R"("fromName":"J\u00f6rg M\u00fcller %d","date":"2026-11-%02dT09:%02d:00Z",)"
                      R"("snippet":"Hello team, the update is at https://example.com/x/%d \u2014 see the notes.",)"
                      R"("flags":[%s],"size":%d,"hasAttachments":%s,"score":%d.%03d})",
                      i == 0 ? "" : ",", 40000 + i, i, i % 97, i, i % 28 + 1, i % 60, i, i % 2 ? "\"\\\\Seen\"" : "",
                      1000 + (i * 7919) % 90000, i % 5 == 0 ? "true" : "false", i % 10, (i * 37) % 1000);
        if (emails.size() + std::string_view(item).size() + 64 > bytes) {
            break;
        }
        emails += item;
    }
    return R"({"ok":true,"result":{"folder":"INBOX","emails":[)" + emails + "]}}";
}

}  // namespace quillbrook::bench
