#pragma once

// Inside json/ only: how a parsed document is held, shared by the reader and
// the writers.

#include <string_view>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/value.hpp>

#include "json/reader.h"

namespace quillbrook::json {

using ParsedValue = boost::json::value;

struct DocumentData {
    // The whole document lives in one arena, given back at once.
    boost::json::monotonic_resource memory;
    ParsedValue value;
    const ParsedValue* root = nullptr;
};

struct ViewAccess {
    static const ParsedValue& node(View v) { return *static_cast<const ParsedValue*>(v.node_); }
    static View make(const ParsedValue& n) { return View(&n); }
};

// An integer too long for 64 bits is held as a string node of its digits behind
// this byte. A string read is valid UTF-8, which never holds 0xFF, so the two
// cannot be confused.
inline constexpr char kBigIntegerMark = '\xFF';

inline std::string_view stringOf(const boost::json::string& s) { return {s.data(), s.size()}; }

inline bool isBigInteger(const ParsedValue& v) {
    const boost::json::string* s = v.if_string();
    return s != nullptr && !s->empty() && s->front() == kBigIntegerMark;
}

inline std::string_view bigIntegerText(const ParsedValue& v) { return stringOf(v.get_string()).substr(1); }

}  // namespace quillbrook::json
