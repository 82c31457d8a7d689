// Growable tables of fixed-size records addressed by handles 1, 2, 3, ...
//
// Records never move: storage comes in blocks of 1, 3, 7, ... records that
// live as long as the list. The handle-to-record index and the free-handle
// stack grow by replacement, and a replaced array is freed only at the next
// growth, so list_get can run on another thread without a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/kernel/messages.h"

namespace quendrel {

using MutexHandle = std::mutex*;

// Unnamed operating-system mutexes held in heap cells; lock and unlock
// ignore a null handle.
MutexHandle mutex_create();
void mutex_lock(MutexHandle m);
void mutex_unlock(MutexHandle m);
void mutex_destroy(MutexHandle m);

class ObjectList {
public:
    ObjectList(MessageBoxes& boxes, uint32_t record_size, bool locked);
    ~ObjectList();
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;

    // 0 when the storage could not grow (after the two alert boxes).
    int64_t list_add();
    int32_t list_remove(int64_t handle);  // -1 when a live record was freed
    void* list_get(int64_t handle) const;
    int64_t list_handle_of(const void* record) const;

    uint32_t record_size() const { return record_size_; }
    uint32_t stride() const { return stride_; }
    int64_t count() const { return count_.load(std::memory_order_acquire); }

private:
    struct Array {
        std::unique_ptr<int64_t[]> data;  // record addresses or handles
        uint64_t capacity = 0;
    };
    // Replaces `current` by an array of 2 × capacity + 1 entries, keeping
    // the one it replaces until the next growth.
    bool grow_array(std::atomic<int64_t*>& current, Array& live, Array& retired, uint64_t used);
    std::atomic<uint64_t>& trailer(uint8_t* record) const;

    MessageBoxes& boxes_;
    uint32_t record_size_;
    uint32_t stride_;
    MutexHandle add_lock_ = nullptr;
    MutexHandle free_lock_ = nullptr;

    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    uint64_t block_capacity_ = 0;  // records in the current block
    uint64_t block_used_ = 0;

    std::atomic<int64_t> count_{0};
    std::atomic<int64_t*> index_{nullptr};
    Array index_live_, index_retired_;

    std::atomic<int64_t*> free_stack_{nullptr};
    Array free_live_, free_retired_;
    uint64_t free_count_ = 0;
};

}  // namespace quendrel
