#include "runtime/kernel/object_list.h"

#include <cstring>
#include <new>

namespace quendrel {

MutexHandle mutex_create() { return new (std::nothrow) std::mutex; }
void mutex_lock(MutexHandle m) {
    if (m) m->lock();
}
void mutex_unlock(MutexHandle m) {
    if (m) m->unlock();
}
void mutex_destroy(MutexHandle m) { delete m; }

namespace {
struct Guard {
    MutexHandle m;
    explicit Guard(MutexHandle handle) : m(handle) { mutex_lock(m); }
    ~Guard() { mutex_unlock(m); }
};
}  // namespace

ObjectList::ObjectList(MessageBoxes& boxes, uint32_t record_size, bool locked)
    : boxes_(boxes),
      record_size_(record_size),
      // Records are kept 8-byte aligned so the trailer can be read atomically.
      stride_(((record_size + 7u) & ~7u) + 8u) {
    if (locked) {
        add_lock_ = mutex_create();
        free_lock_ = mutex_create();
    }
}

ObjectList::~ObjectList() {
    mutex_destroy(add_lock_);
    mutex_destroy(free_lock_);
}

std::atomic<uint64_t>& ObjectList::trailer(uint8_t* record) const {
    return *reinterpret_cast<std::atomic<uint64_t>*>(record + stride_ - 8);
}

bool ObjectList::grow_array(std::atomic<int64_t*>& current, Array& live, Array& retired,
                            uint64_t used) {
    uint64_t capacity = 2 * live.capacity + 1;
    int64_t* data = new (std::nothrow) int64_t[capacity + 1]();
    if (!data) return false;
    if (live.data) std::memcpy(data, live.data.get(), (used + 1) * sizeof(int64_t));
    retired = std::move(live);  // the array retired before this one is freed now
    live.data.reset(data);
    live.capacity = capacity;
    current.store(data, std::memory_order_release);
    return true;
}

int64_t ObjectList::list_add() {
    Guard add(add_lock_);
    {
        Guard release(free_lock_);
        if (free_count_ > 0) {
            int64_t handle = free_live_.data[--free_count_];
            uint8_t* record = reinterpret_cast<uint8_t*>(index_live_.data[handle]);
            std::memset(record, 0, record_size_);
            trailer(record).store(uint64_t(handle), std::memory_order_release);
            return handle;
        }
    }
    if (block_used_ == block_capacity_) {
        uint64_t capacity = 2 * block_capacity_ + 1;
        uint8_t* block = new (std::nothrow) uint8_t[(capacity + 1) * stride_]();
        if (!block) {
            boxes_.alert_box("list_add: failed to allocate new buffer, structure size:");
            boxes_.alert_number(stride_);
            return 0;
        }
        blocks_.emplace_back(block);
        block_capacity_ = capacity;
        block_used_ = 0;
    }
    int64_t handle = count_.load(std::memory_order_relaxed) + 1;
    if (uint64_t(handle) > index_live_.capacity &&
        !grow_array(index_, index_live_, index_retired_, uint64_t(handle - 1))) {
        boxes_.alert_box("list_add: failed to allocate new buffer, structure size:");
        boxes_.alert_number(stride_);
        return 0;
    }
    // Slot 0 of each block is never handed out.
    uint8_t* record = blocks_.back().get() + (block_used_ + 1) * stride_;
    ++block_used_;
    trailer(record).store(uint64_t(handle), std::memory_order_release);
    index_live_.data[handle] = reinterpret_cast<int64_t>(record);
    count_.store(handle, std::memory_order_release);
    return handle;
}

int32_t ObjectList::list_remove(int64_t handle) {
    Guard release(free_lock_);
    if (handle < 1 || handle > count_.load(std::memory_order_acquire)) return 0;
    uint8_t* record = reinterpret_cast<uint8_t*>(index_live_.data[handle]);
    if (trailer(record).load(std::memory_order_acquire) == 0) return 0;
    if (free_count_ + 1 > free_live_.capacity &&
        !grow_array(free_stack_, free_live_, free_retired_, free_count_)) {
        return 0;
    }
    free_live_.data[free_count_++] = handle;
    trailer(record).store(0, std::memory_order_release);
    return -1;
}

void* ObjectList::list_get(int64_t handle) const {
    int64_t count = count_.load(std::memory_order_acquire);
    if (handle < 1 || handle > count) return nullptr;
    const int64_t* index = index_.load(std::memory_order_acquire);
    uint8_t* record = reinterpret_cast<uint8_t*>(index[handle]);
    if (trailer(record).load(std::memory_order_acquire) == 0) return nullptr;
    return record;
}

int64_t ObjectList::list_handle_of(const void* record) const {
    return int64_t(trailer(static_cast<uint8_t*>(const_cast<void*>(record)))
                       .load(std::memory_order_acquire));
}

}  // namespace quendrel
