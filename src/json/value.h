#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillbrook::json {

// Deeper documents are refused as unparseable: they cannot be written back
// without risking the stack, and no honest message nests that far.
inline constexpr std::size_t kMaxDepth = 512;

// What a JSON value is, parsed or built: the writers know no other kinds.
enum class Kind : std::uint8_t {
    null,
    falseValue,
    trueValue,
    string,
    bigInteger,  // an integer too long for 64 bits, kept as its digits
    int64,
    uint64,
    real,
    array,
    object,
    preWritten,  // JSON text a writer of this module wrote already; built values only
};

class ValueInit;

// A value the program builds: a request, an answer, a draft. Built from brace
// lists as in the common JSON libraries: a list of two-element lists whose
// first is a string is an object, any other list an array. Written by hand
// because no library's value (Boost.JSON's included) holds a big integer or
// pre-written text as a kind of its own, and each would need a convention
// inside one of its kinds again. Objects keep their keys unique and sorted
// by byte, so the writers and every walk over members see one order.
class Value {
public:
    using Array = std::vector<Value>;
    using Member = std::pair<std::string, Value>;
    using Object = std::vector<Member>;

    Value() noexcept {}
    Value(std::nullptr_t) noexcept {}
    Value(bool b) noexcept : kind_(b ? Kind::trueValue : Kind::falseValue) {}
    template <std::integral Integer>
    requires(!std::same_as<Integer, bool>) Value(Integer n)
    noexcept {
        if constexpr (std::is_signed_v<Integer>) {
            kind_ = Kind::int64;
            int64_ = n;
        } else {
            kind_ = Kind::uint64;
            uint64_ = n;
        }
    }
    template <std::floating_point Real>
    Value(Real d) noexcept : kind_(Kind::real), real_(d) {}
    Value(const char* s) : Value(std::string(s)) {}
    Value(std::string_view s) : Value(std::string(s)) {}
    Value(std::string s) : kind_(Kind::string), text_(new std::string(std::move(s))) {}
    Value(std::initializer_list<ValueInit> list);
    // A list of anything a value is made of, as an array: a message's flags, its references.
    template <std::ranges::input_range Range>
    requires(!std::convertible_to<const Range&, std::string_view> && !std::same_as<Range, Value> &&
             std::constructible_from<Value, std::ranges::range_reference_t<const Range&>>) Value(const Range& range)
        : Value(array()) {
        for (const auto& element : range) {
            array_->emplace_back(element);
        }
    }

    Value(const Value& other);
    Value(Value&& other) noexcept : kind_(other.kind_), bits_(other.bits_) { other.kind_ = Kind::null; }
    Value& operator=(Value other) noexcept {
        swap(other);
        return *this;
    }
    ~Value() { release(); }

    static Value array() { return fromArray({}); }
    static Value array(std::initializer_list<ValueInit> elements);
    static Value object() { return fromObject({}); }
    static Value fromArray(Array elements);
    // Sorts `members` by key; of repeated keys the last counts.
    static Value fromObject(Object members);
    static Value bigInteger(std::string_view digits) { return withText(Kind::bigInteger, digits); }
    // Copied by the compact and pretty writers as it is, and escaped once as
    // part of a compact text written as a JSON string: a large tool text is
    // escaped once, straight from the agent's answer, and never built again.
    static Value preWritten(std::string_view text) { return withText(Kind::preWritten, text); }

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::null; }
    bool isBool() const { return kind_ == Kind::trueValue || kind_ == Kind::falseValue; }
    bool isTrue() const { return kind_ == Kind::trueValue; }
    bool isString() const { return kind_ == Kind::string; }
    bool isArray() const { return kind_ == Kind::array; }
    bool isObject() const { return kind_ == Kind::object; }

    // Each only for its own kind.
    const std::string& string() const { return *text_; }
    std::string& string() { return *text_; }
    // A string's bytes, a big integer's digits or a pre-written value's text.
    const std::string& text() const { return *text_; }
    std::int64_t int64() const { return int64_; }
    std::uint64_t uint64() const { return uint64_; }
    double real() const { return real_; }
    Array& elements() { return *array_; }
    const Array& elements() const { return *array_; }
    const Object& members() const { return *object_; }

    // The digits of a big integer, the text of a pre-written value; nothing for any other kind.
    std::optional<std::string_view> bigIntegerDigits() const { return textOf(Kind::bigInteger); }
    std::optional<std::string_view> preWrittenText() const { return textOf(Kind::preWritten); }

    // An array's elements or an object's members; 0 for anything else.
    std::size_t size() const;
    bool empty() const { return size() == 0; }

    // The member `key` of an object; nothing when it is absent or this is no object.
    Value* find(std::string_view key);
    const Value* find(std::string_view key) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // The member `key`, added as null when absent; a null becomes an empty object first.
    Value& operator[](std::string_view key);
    // The member `key`, or null when it is absent.
    const Value& operator[](std::string_view key) const;
    Value& operator[](std::size_t index) { return (*array_)[index]; }
    const Value& operator[](std::size_t index) const { return (*array_)[index]; }
    // Whether the object had the member.
    bool erase(std::string_view key);
    // A null becomes an empty array first.
    void pushBack(Value element);

    void swap(Value& other) noexcept {
        std::swap(kind_, other.kind_);
        std::swap(bits_, other.bits_);
    }

    // Integers compare by value whatever their kind, as a reader may give either.
    friend bool operator==(const Value& a, const Value& b);

private:
    static Value withText(Kind kind, std::string_view text);
    std::optional<std::string_view> textOf(Kind kind) const;
    bool holdsText() const { return kind_ == Kind::string || kind_ == Kind::bigInteger || kind_ == Kind::preWritten; }
    void release() noexcept;

    Kind kind_ = Kind::null;
    // Held by pointer, as in most JSON libraries, so a value stays two words.
    union {
        std::uint64_t bits_ = 0;
        std::int64_t int64_;
        std::uint64_t uint64_;
        double real_;
        std::string* text_;
        Array* array_;
        Object* object_;
    };
};

// One element of a brace list: a value it may move out of, as the list itself is const.
class ValueInit {
public:
    ValueInit(std::initializer_list<ValueInit> list) : value_(list) {}
    template <typename... Args>
    requires std::constructible_from<Value, Args...> ValueInit(Args&&... args) : value_(std::forward<Args>(args)...) {}

    const Value& value() const { return value_; }
    Value take() const { return std::move(value_); }

private:
    mutable Value value_;
};

}  // namespace quillbrook::json
