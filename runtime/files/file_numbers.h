// The program's file numbers and the handle each one names.
//
// Kept sorted and sparse rather than as an array indexed by number: a
// program may open #2000000000, which an array would have to grow to
// gigabytes for. Every answer is the one such an array would give.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace quendrel {

class FileNumberTable {
public:
    // The handle index, or −1 for a free number.
    int32_t lookup(int32_t number) const {
        auto it = entries_.find(number);
        return it == entries_.end() ? -1 : it->second;
    }
    void link(int32_t number, int32_t handle) { entries_[number] = handle; }
    void unlink(int32_t number) { entries_.erase(number); }

    // The lowest number from 1 on that is free.
    int32_t lowest_free() const {
        int32_t candidate = 1;
        for (auto it = entries_.lower_bound(1); it != entries_.end() && it->first == candidate; ++it)
            ++candidate;
        return candidate;
    }

    // The numbers in use, ascending.
    std::vector<int32_t> numbers_in_use() const {
        std::vector<int32_t> numbers;
        numbers.reserve(entries_.size());
        for (const auto& entry : entries_) numbers.push_back(entry.first);
        return numbers;
    }

private:
    std::map<int32_t, int32_t> entries_;
};

}  // namespace quendrel
