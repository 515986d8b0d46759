#include "json/value.h"

#include <algorithm>

namespace quillbrook::json {

namespace {

bool byKey(const Value::Member& a, const Value::Member& b) { return a.first < b.first; }

// Where `key` is or would go in a sorted object. Keys compare as views: Clang 14
// cannot compare a string with a view under libstdc++ 12.
template <typename Object>
auto lowerBound(Object& object, std::string_view key) {
    return std::lower_bound(object.begin(), object.end(), key, [](const Value::Member& member, std::string_view k) {
        return std::string_view(member.first) < k;
    });
}

template <typename Iterator>
bool holdsKey(Iterator found, Iterator end, std::string_view key) {
    return found != end && std::string_view(found->first) == key;
}

bool isMemberPair(const ValueInit& element) {
    const Value& value = element.value();
    return value.isArray() && value.size() == 2 && value[0].isString();
}

}  // namespace

Value::Value(std::initializer_list<ValueInit> list) {
    if (list.size() > 0 && std::all_of(list.begin(), list.end(), isMemberPair)) {
        Object members;
        members.reserve(list.size());
        for (const ValueInit& element : list) {
            Value pair = element.take();
            Array& both = pair.elements();
            members.emplace_back(std::move(*both[0].text_), std::move(both[1]));
        }
        *this = fromObject(std::move(members));
    } else {
        *this = array(list);
    }
}

Value::Value(const Value& other) : kind_(other.kind_) {
    switch (kind_) {
    case Kind::string:
    case Kind::bigInteger:
    case Kind::preWritten:
        text_ = new std::string(*other.text_);
        break;
    case Kind::array:
        array_ = new Array(*other.array_);
        break;
    case Kind::object:
        object_ = new Object(*other.object_);
        break;
    default:
        bits_ = other.bits_;
        break;
    }
}

void Value::release() noexcept {
    if (holdsText()) {
        delete text_;
    } else if (kind_ == Kind::array) {
        delete array_;
    } else if (kind_ == Kind::object) {
        delete object_;
    }
}

Value Value::array(std::initializer_list<ValueInit> elements) {
    Array array;
    array.reserve(elements.size());
    for (const ValueInit& element : elements) {
        array.push_back(element.take());
    }
    return fromArray(std::move(array));
}

Value Value::fromArray(Array elements) {
    Value value;
    value.kind_ = Kind::array;
    value.array_ = new Array(std::move(elements));
    return value;
}

Value Value::fromObject(Object members) {
    std::stable_sort(members.begin(), members.end(), byKey);
    // Of a run of equal keys the last is kept.
    auto last = std::unique(members.rbegin(), members.rend(),
                            [](const Member& a, const Member& b) { return a.first == b.first; });
    members.erase(members.begin(), last.base());
    Value value;
    value.kind_ = Kind::object;
    value.object_ = new Object(std::move(members));
    return value;
}

Value Value::withText(Kind kind, std::string_view text) {
    Value value(text);
    value.kind_ = kind;
    return value;
}

std::optional<std::string_view> Value::textOf(Kind kind) const {
    if (kind_ != kind) {
        return std::nullopt;
    }
    return *text_;
}

std::size_t Value::size() const {
    if (kind_ == Kind::array) {
        return array_->size();
    }
    return kind_ == Kind::object ? object_->size() : 0;
}

Value* Value::find(std::string_view key) { return const_cast<Value*>(static_cast<const Value&>(*this).find(key)); }

const Value* Value::find(std::string_view key) const {
    if (kind_ != Kind::object) {
        return nullptr;
    }
    auto found = lowerBound(*object_, key);
    return holdsKey(found, object_->end(), key) ? &found->second : nullptr;
}

Value& Value::operator[](std::string_view key) {
    if (kind_ == Kind::null) {
        *this = object();
    }
    auto found = lowerBound(*object_, key);
    if (!holdsKey(found, object_->end(), key)) {
        found = object_->emplace(found, std::string(key), Value());
    }
    return found->second;
}

const Value& Value::operator[](std::string_view key) const {
    static const Value absent;
    const Value* found = find(key);
    return found != nullptr ? *found : absent;
}

bool Value::erase(std::string_view key) {
    if (kind_ != Kind::object) {
        return false;
    }
    auto found = lowerBound(*object_, key);
    if (!holdsKey(found, object_->end(), key)) {
        return false;
    }
    object_->erase(found);
    return true;
}

void Value::pushBack(Value element) {
    if (kind_ == Kind::null) {
        *this = array();
    }
    array_->push_back(std::move(element));
}

bool operator==(const Value& a, const Value& b) {
    auto isInteger = [](const Value& v) { return v.kind_ == Kind::int64 || v.kind_ == Kind::uint64; };
    if (isInteger(a) && isInteger(b)) {
        // A negative int64 never equals a uint64; the same bits otherwise mean the same number.
        bool aNegative = a.kind_ == Kind::int64 && a.int64_ < 0;
        bool bNegative = b.kind_ == Kind::int64 && b.int64_ < 0;
        return aNegative == bNegative && a.bits_ == b.bits_;
    }
    if (a.kind_ != b.kind_) {
        return false;
    }
    switch (a.kind_) {
    case Kind::string:
    case Kind::bigInteger:
    case Kind::preWritten:
        return *a.text_ == *b.text_;
    case Kind::real:
        return a.real_ == b.real_;
    case Kind::array:
        return *a.array_ == *b.array_;
    case Kind::object:
        return *a.object_ == *b.object_;
    default:
        return true;
    }
}

}  // namespace quillbrook::json
