#include "util/line_splitter.h"

namespace quillbrook {

LineSplitter::Split LineSplitter::next(std::string_view pending) {
    if (auto newline = pending.find('\n', searched_); newline != std::string_view::npos) {
        std::string_view text = pending.substr(0, newline);
        if (ending_ == Ending::lineFeedOrCrLf && text.ends_with('\r')) {
            text.remove_suffix(1);
        }
        return finish(text, newline + 1);
    }
    // Beyond the bound and the carriage return that may end it: too long whatever follows.
    const std::size_t longestUnended = maxLineBytes_ + (ending_ == Ending::lineFeedOrCrLf ? 1 : 0);
    if (dropping_ || pending.size() > longestUnended) {
        dropping_ = true;
        searched_ = 0;
        return Split{Split::Kind::more, {}, pending.size()};
    }
    searched_ = pending.size();
    return Split{};
}

LineSplitter::Split LineSplitter::end(std::string_view pending) {
    if (pending.empty() && !dropping_) {
        return Split{};
    }
    return finish(pending, pending.size());
}

LineSplitter::Split LineSplitter::finish(std::string_view text, std::size_t consumed) {
    const bool tooLong = dropping_ || text.size() > maxLineBytes_;
    dropping_ = false;
    searched_ = 0;
    if (tooLong) {
        return Split{Split::Kind::tooLong, {}, consumed};
    }
    return Split{Split::Kind::line, text, consumed};
}

}  // namespace quillbrook
