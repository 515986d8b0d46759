#include "dev_agent/maildir/file_names.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace quillbrook::dev_agent {

void FileNames::add(std::string_view name) {
    if (name.size() > kBlockBytes) {
        throw std::length_error("a file name longer than 1 MiB");
    }
    if (blocks_.empty() || kBlockBytes - blocks_.back().size() < name.size()) {
        if ((blocks_.size() + 1) * kBlockBytes > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("a directory whose file names take more than 4 GiB");
        }
        blocks_.emplace_back();
        if (blocks_.size() > 1) {
            blocks_.back().reserve(kBlockBytes);
        }
    }
    std::string& block = blocks_.back();
    std::size_t offset = (blocks_.size() - 1) * kBlockBytes + block.size();
    block.append(name);
    entries_.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(name.size())});
}

void FileNames::sort() {
    std::sort(entries_.begin(), entries_.end(),
              [this](const Entry& a, const Entry& b) { return viewOf(a) < viewOf(b); });
}

}  // namespace quillbrook::dev_agent
