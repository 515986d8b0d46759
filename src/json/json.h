#pragma once

// The program's one JSON module: strict reading and the three ways of writing.
//
// Values the program builds (requests, MCP answers) are `json::Value`. Parsed text
// is held by a `json::Document` and read through `json::View`, so that a large
// answer of the agent can be re-written without ever being copied into `Value`s.
// Every writer escapes the solidus as `\/`, writes non-ASCII as raw UTF-8 and
// keeps only the last of duplicate keys.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quillbrook::json {

using Value = nlohmann::json;

// Deeper documents are refused as unparseable: they cannot be written back
// without risking the stack, and no honest message nests that far.
inline constexpr std::size_t kMaxDepth = 512;

struct DocumentData;

// A read-only view of one value inside a Document; valid while the Document lives.
class View {
public:
    bool isObject() const;
    bool isArray() const;
    bool isString() const;
    bool isBool() const;
    bool isTrue() const;

    // The member `key` of an object (the last one when the key repeats).
    std::optional<View> find(std::string_view key) const;
    // The string, or nothing when this is not a string.
    std::optional<std::string_view> string() const;
    std::size_t arraySize() const;
    View at(std::size_t index) const;

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
    friend std::optional<Document> parseStrict(std::string_view text);
    Document();
    std::unique_ptr<DocumentData> data_;
};

// Parses one complete JSON text. Refuses (nothing) a text that is not an object or
// an array at top level, has trailing data, holds a NUL byte or invalid UTF-8,
// nests deeper than kMaxDepth, or has a number out of the double range.
std::optional<Document> parseStrict(std::string_view text);

// The agent request: compact, one line. Nothing when a string is not valid UTF-8
// or a number is not finite.
std::optional<std::string> writeRequest(const Value& value);

// Command results: indented by two spaces, keys of every object sorted.
std::optional<std::string> writePrettySorted(View value);
std::optional<std::string> writePrettySorted(const Value& value);

// MCP answers and tool texts: compact, keys of every object sorted.
std::optional<std::string> writeCompactSorted(View value);
std::optional<std::string> writeCompactSorted(const Value& value);

}  // namespace quillbrook::json
