#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/value.h"

namespace quillbrook::json {

struct DocumentData;

// A read-only view of one value inside a Document; valid while the Document lives.
class View {
public:
    Kind kind() const;
    bool isObject() const;
    bool isArray() const;
    bool isString() const;
    bool isBool() const;
    bool isTrue() const;
    bool isNull() const;

    // Each only for its own kind.
    std::int64_t int64() const;
    std::uint64_t uint64() const;
    double real() const;
    // The digits of a big integer; nothing for any other kind.
    std::optional<std::string_view> bigIntegerDigits() const;

    // The member `key` of an object (the last one when the key repeats).
    std::optional<View> find(std::string_view key) const;
    // The string, or nothing when this is not a string.
    std::optional<std::string_view> string() const;
    std::size_t arraySize() const;
    View at(std::size_t index) const;
    // An array's elements in order, found in one walk; none for anything else.
    std::vector<View> elements() const;

    // A copy as a built value, for the few places that edit what they read.
    Value toValue() const;

private:
    friend class Document;
    friend struct ViewAccess;
    explicit View(const void* node) : node_(node) {}
    const void* node_;
};

// An owned parse result. Its root can be narrowed to one of its members, which is
// how an agent answer becomes its "result" without a copy.
class Document {
public:
    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;
    ~Document();

    View root() const;
    void narrowTo(View member);
    // A document holding just `{}`.
    static Document emptyObject();

private:
    friend std::optional<Document> parseStrictInPlace(std::string text);
    Document();
    std::unique_ptr<DocumentData> data_;
};

// Parses one complete JSON text in one pass. Refuses (nothing) a text that is not an object or
// an array at top level, has trailing data, holds a NUL byte or invalid UTF-8,
// nests deeper than kMaxDepth, or has a number beyond the double range.
std::optional<Document> parseStrict(std::string_view text);
// The same, keeping `text` in the document instead of a copy of it.
std::optional<Document> parseStrictInPlace(std::string text);

}  // namespace quillbrook::json
