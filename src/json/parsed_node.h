#pragma once

// Inside json/ only: how a parsed document is held, shared by the reader and
// the writers.
//
// A document is a flat array of nodes in the order of the text, each container
// followed by its elements (an object's alternate key and value). This is the
// one thing here not taken from a library: Boost.JSON's own values index every
// object for lookup, which costs more than the whole sorted write that follows,
// while a re-written answer needs only one walk in order.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/reader.h"

namespace quillbrook::json {

struct Node {
    Kind kind = Kind::null;
    // A string's or big integer's bytes; an array's elements; an object's members.
    std::uint32_t length = 0;
    union {
        const char* text;  // a string's bytes, or a big integer's digits
        std::int64_t int64;
        std::uint64_t uint64;
        double real;
        std::size_t subtreeNodes = 0;  // of a container, itself included
    };

    std::string_view string() const { return {text, length}; }
    bool isContainer() const { return kind == Kind::array || kind == Kind::object; }
    // The node after this one's subtree: its next sibling, if it has one.
    const Node* next() const { return this + (isContainer() ? subtreeNodes : 1); }
};

struct DocumentData {
    std::string text;  // the input: strings without escapes point into it
    // Strings that had escapes, unescaped: never longer than the text.
    std::unique_ptr<char[]> unescaped;
    std::vector<Node> nodes;
    const Node* root = nullptr;
};

struct ViewAccess {
    static const Node& node(View v) { return *static_cast<const Node*>(v.node_); }
    static View make(const Node& n) { return View(&n); }
};

}  // namespace quillbrook::json
