#include "dev_agent/protocol/answer_fit.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dev_agent/base/text.h"

// Every answer must fit the one line a client accepts, whatever the mail or
// the drafts hold, so one rule fits them all: texts first, lists only when
// cutting texts cannot be enough.

namespace quillbrook::dev_agent {

namespace {

// A text no longer than this (as written) is never cut: names, ids and dates
// stay whole, and a cut text keeps something beside the note.
constexpr std::size_t kShortestCutText = 1024;

// Lists shortened or texts cut in one call, at most; each round shortens a
// list or cuts texts, so a result needs a few at most.
constexpr int kMaxRounds = 16;

std::size_t writtenSize(const json::Value& value) {
    auto text = json::writeCompactSorted(value);
    if (!text) {
        throw std::runtime_error("the result could not be written as JSON");
    }
    return text->size();
}

// What `text` takes between its quotes as written.
std::size_t writtenTextSize(std::string_view text) {
    std::size_t size = 0;
    for (char byte : text) {
        size += json::writtenByteSize(byte);
    }
    return size;
}

// `text` cut to take at most `maxWritten` bytes as written, the note included.
std::string cutText(std::string_view text, std::size_t maxWritten) {
    static const std::size_t noteSize = writtenTextSize(kCutNote);
    std::size_t room = maxWritten > noteSize ? maxWritten - noteSize : 0;
    std::size_t end = 0;
    for (std::size_t used = 0; end < text.size() && used + json::writtenByteSize(text[end]) <= room; ++end) {
        used += json::writtenByteSize(text[end]);
    }
    return std::string(startWithin(text, end)).append(kCutNote);
}

struct Text {
    json::Value* value;
    std::size_t written;
};

// Calls `visit` with each element of an array or member value of an object, which it may change.
template <typename Visit>
void forEachChild(json::Value& value, Visit visit) {
    if (value.isArray()) {
        for (json::Value& element : value.elements()) {
            visit(element);
        }
    } else if (value.isObject()) {
        for (const auto& member : value.members()) {
            visit(*value.find(member.first));
        }
    }
}

void collectTexts(json::Value& value, std::vector<Text>& texts) {
    if (value.isString()) {
        texts.push_back({&value, writtenTextSize(value.string())});
    } else {
        forEachChild(value, [&](json::Value& child) { collectTexts(child, texts); });
    }
}

// Cuts the longest texts to one common length so that the written result
// shrinks by at least `excess` bytes. The caller has made sure that cutting
// every text to kShortestCutText is enough.
void cutLongestTexts(json::Value& result, std::size_t excess) {
    std::vector<Text> texts;
    collectTexts(result, texts);
    std::sort(texts.begin(), texts.end(), [](const Text& a, const Text& b) { return a.written > b.written; });
    // With the k longest cut to `level`, the result shrinks by at least
    // sum(written) - k * level: the longest level at which that is enough.
    std::size_t level = kShortestCutText;
    std::size_t longest = 0;
    for (std::size_t k = 1; k <= texts.size(); ++k) {
        longest += texts[k - 1].written;
        std::size_t next = k < texts.size() ? texts[k].written : 0;
        if (longest >= excess && (longest - excess) / k >= next) {
            level = std::max(level, (longest - excess) / k);
            break;
        }
    }
    for (const Text& text : texts) {
        if (text.written <= level) {
            break;
        }
        *text.value = cutText(text.value->string(), level);
    }
}

// A list that is a member of an object, with what each entry takes as
// written once its texts are cut as short as they may be.
struct List {
    json::Value* owner;
    std::string name;
    std::vector<std::size_t> entrySizes;
    std::size_t size = 0;
};

// Brackets and commas.
std::size_t punctuationSize(const json::Value& structured) {
    return 2 + (structured.empty() ? 0 : structured.size() - 1);
}

// What `value` takes as written with every text cut to kShortestCutText;
// collects the lists it holds on the way.
std::size_t shortestSize(json::Value& value, std::vector<List>& lists) {
    if (value.isString()) {
        return 2 + std::min(writtenTextSize(value.string()), kShortestCutText);
    }
    if (!value.isArray() && !value.isObject()) {
        return writtenSize(value);
    }
    std::size_t size = punctuationSize(value);
    if (value.isArray()) {
        for (json::Value& entry : value.elements()) {
            size += shortestSize(entry, lists);
        }
        return size;
    }
    for (const json::Value::Member& entry : value.members()) {
        const std::string& name = entry.first;
        json::Value& member = *value.find(name);
        size += writtenTextSize(name) + 3;
        if (!member.isArray()) {
            size += shortestSize(member, lists);
            continue;
        }
        List list{&value, name, {}, punctuationSize(member)};
        for (json::Value& entry : member.elements()) {
            list.entrySizes.push_back(shortestSize(entry, lists));
            list.size += list.entrySizes.back();
        }
        size += list.size;
        lists.push_back(std::move(list));
    }
    return size;
}

// Drops entries from the end of the longest list until the result, its texts
// cut as short as they may be, takes at most `budget` bytes.
void shortenLongestList(std::vector<List>& lists, std::size_t shortest, std::size_t budget) {
    auto longest =
        std::max_element(lists.begin(), lists.end(), [](const List& a, const List& b) { return a.size < b.size; });
    if (longest == lists.end() || longest->entrySizes.empty()) {
        throw std::runtime_error("the answer cannot be made to fit the line a client accepts");
    }
    std::string omittedName = longest->name + std::string(kOmittedSuffix);
    // Room for the member that says how many entries were left out.
    std::size_t target = budget > omittedName.size() + 32 ? budget - omittedName.size() - 32 : 0;
    std::size_t dropped = 0;
    std::vector<std::size_t>& sizes = longest->entrySizes;
    while (dropped < sizes.size() && shortest > target) {
        shortest -= std::min(shortest, sizes[sizes.size() - 1 - dropped] + 1);
        ++dropped;
    }
    json::Value& owner = *longest->owner;
    json::Value& list = owner[longest->name];
    list.elements().erase(list.elements().end() - static_cast<std::ptrdiff_t>(dropped), list.elements().end());
    const json::Value* omitted = owner.find(omittedName);
    std::size_t omittedBefore = omitted != nullptr && omitted->kind() == json::Kind::uint64 ? omitted->uint64() : 0;
    owner[omittedName] = omittedBefore + dropped;
}

}  // namespace

void fitResult(json::Value& result, std::size_t budget) {
    for (int round = 0; round < kMaxRounds; ++round) {
        std::size_t size = writtenSize(result);
        if (size <= budget) {
            return;
        }
        std::vector<List> lists;
        std::size_t shortest = shortestSize(result, lists);
        if (shortest > budget) {
            shortenLongestList(lists, shortest, budget);
        } else {
            cutLongestTexts(result, size - budget);
        }
    }
    throw std::runtime_error("the answer cannot be made to fit the line a client accepts");
}

}  // namespace quillbrook::dev_agent
