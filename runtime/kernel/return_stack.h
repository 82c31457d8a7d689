// Return points of subroutine calls made by translated programs.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

class ReturnStack {
public:
    explicit ReturnStack(RuntimeErrors& errors, int64_t capacity = 16384)
        : errors_(errors),
          entries_(static_cast<uint32_t*>(std::malloc(size_t(capacity) * 4))),
          capacity_(capacity) {}
    ~ReturnStack() { std::free(entries_); }
    ReturnStack(const ReturnStack&) = delete;
    ReturnStack& operator=(const ReturnStack&) = delete;

    // Generated code pushes, then grows when the stack has become full.
    void push(uint32_t point) {
        entries_[count_++] = point;
        if (count_ >= capacity_) return_stack_grow();
    }
    // 0 after raising 3 when there is nothing to return to.
    uint32_t pop() {
        if (count_ == 0) {
            errors_.raise_error(3);
            return 0;
        }
        return entries_[--count_];
    }
    void return_stack_grow() {
        if (capacity_ < 0 || capacity_ > (int64_t(1) << 40)) errors_.raise_error(256);
        void* grown = std::realloc(entries_, size_t(capacity_) * 2 * 4);
        if (!grown) errors_.raise_error(256);
        entries_ = static_cast<uint32_t*>(grown);
        capacity_ *= 2;
    }
    int64_t count() const { return count_; }
    int64_t capacity() const { return capacity_; }

private:
    RuntimeErrors& errors_;
    uint32_t* entries_;
    int64_t capacity_;
    int64_t count_ = 0;
};

}  // namespace quendrel
