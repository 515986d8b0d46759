#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace quillbrook::dev_agent {

// The file names of one directory, held compactly: their bytes in blocks of
// 1 MiB, of which only the first grows by copying (a small directory takes
// little), and eight bytes of place per name, so that a folder of a million
// messages lists into about 40 MB where a string for each name would take
// 150 MB.
class FileNames {
public:
    void add(std::string_view name);
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::string_view operator[](std::size_t i) const { return viewOf(entries_[i]); }
    // Sorts the names in byte order.
    void sort();

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        Iterator() = default;
        Iterator(const FileNames* names, std::size_t at) : names_(names), at_(at) {}
        std::string_view operator*() const { return (*names_)[at_]; }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) { return {names_, at_++}; }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        const FileNames* names_ = nullptr;
        std::size_t at_ = 0;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, entries_.size()}; }

private:
    struct Entry {
        std::uint32_t offset;
        std::uint32_t length;
    };
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    std::string_view viewOf(const Entry& entry) const {
        return {blocks_[entry.offset / kBlockBytes].data() + entry.offset % kBlockBytes, entry.length};
    }
    std::vector<std::string> blocks_;
    std::vector<Entry> entries_;
};

}  // namespace quillbrook::dev_agent
