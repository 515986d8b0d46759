// The development agent's request line through its protocol and actions,
// against a private copy of a small Maildir: never a crash, and every answer
// one line of strict JSON that says "ok" or carries a code and a message.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include "check.h"
#include "dev_agent/protocol/protocol.h"
#include "json/json.h"

namespace {

using namespace quillbrook;
using namespace quillbrook::dev_agent;
namespace fs = std::filesystem;

// Drafts pile up as the fuzzer creates them; after this many the mail and the
// drafts start again from a fresh copy, so every run sees a small mailbox.
constexpr int kDraftsBeforeReset = 64;

class Fixture {
public:
    Fixture() {
        char pattern[] = "/tmp/qbfz.XXXXXX";
        FUZZ_CHECK(::mkdtemp(pattern) != nullptr);
        root_ = pattern;
        reset();
    }

    ~Fixture() {
        close();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    static Fixture& instance() {
        static Fixture fixture;
        return fixture;
    }

    ActionContext& context() { return *context_; }

    void draftCreated() {
        if (++drafts_ == kDraftsBeforeReset) {
            reset();
        }
    }

private:
    void close() {
        context_.reset();
        draftStore_.reset();
        mail_.reset();
    }

    void reset() {
        close();
        fs::remove_all(root_ + "/run");
        fs::create_directories(root_ + "/run");
        fs::copy(QUILLBROOK_SAMPLE_MAIL, root_ + "/run/mail", fs::copy_options::recursive);
        mail_ = std::make_unique<MailStore>(
            std::vector<Account>{{"ada@example.com", "Ada Lindqvist", root_ + "/run/mail/ada"},
                                 {"sam.okafor@example.org", "Sam Okafor", root_ + "/run/mail/sam"}},
            root_ + "/run/state");
        draftStore_ = std::make_unique<LocalDraftStore>(root_ + "/run/drafts");
        context_ = std::make_unique<ActionContext>(ActionContext{*mail_, *draftStore_});
        drafts_ = 0;
    }

    std::string root_;
    std::unique_ptr<MailStore> mail_;
    std::unique_ptr<LocalDraftStore> draftStore_;
    std::unique_ptr<ActionContext> context_;
    int drafts_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    if (line.size() > kMaxRequestBytes) {
        return 0;
    }
    Fixture& fixture = Fixture::instance();
    Answer answer = answerRequest(fixture.context(), line);
    if (answer.action == "create_draft" && answer.code == "ok") {
        fixture.draftCreated();
    }

    FUZZ_CHECK(answer.line.ends_with('\n'));
    std::string_view text(answer.line);
    text.remove_suffix(1);
    FUZZ_CHECK(text.find('\n') == std::string_view::npos);
    auto document = json::parseStrict(text);
    FUZZ_CHECK(document && document->root().isObject());
    auto ok = document->root().find("ok");
    FUZZ_CHECK(ok && ok->isBool());
    if (ok->isTrue()) {
        FUZZ_CHECK(answer.code == "ok");
        auto result = document->root().find("result");
        FUZZ_CHECK(result && result->isObject());
    } else {
        auto code = document->root().find("code");
        auto error = document->root().find("error");
        FUZZ_CHECK(code && code->string() == answer.code && error && error->isString());
    }
    return 0;
}
