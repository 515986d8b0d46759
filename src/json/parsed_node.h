#pragma once

// Inside json/ only: how a parsed document is held, shared by the reader and
// the writers.

#include <string>
#include <string_view>

#include <rapidjson/document.h>

#include "json/reader.h"

namespace quillbrook::json {

using ParsedValue = rapidjson::Value;

struct DocumentData {
    std::string text;  // parsed in place: the document's strings point into it
    rapidjson::Document doc;
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

inline std::string_view stringOf(const ParsedValue& v) { return {v.GetString(), v.GetStringLength()}; }

inline bool isBigInteger(const ParsedValue& v) {
    return v.IsString() && v.GetStringLength() > 0 && v.GetString()[0] == kBigIntegerMark;
}

inline std::string_view bigIntegerText(const ParsedValue& v) { return stringOf(v).substr(1); }

}  // namespace quillbrook::json
