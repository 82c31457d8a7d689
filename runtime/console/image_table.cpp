#include "runtime/console/image_table.h"

#include <cstring>
#include <new>

namespace quendrel {

namespace {
constexpr int32_t kErrorTableFull = 502;
constexpr int32_t kErrorFreeStackFull = 503;
}  // namespace

ImageTable::ImageTable(RuntimeErrors& errors) : errors_(errors) {
    if (!grow()) errors_.raise_error(kErrorTableFull);
    try {
        free_slots_.reserve(kGrowth);
    } catch (const std::bad_alloc&) {
        errors_.raise_error(kErrorFreeStackFull);
    }
}

bool ImageTable::grow() {
    std::unique_ptr<ScreenImage[]> block(new (std::nothrow) ScreenImage[kGrowth]());
    if (!block) return false;
    try {
        blocks_.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return false;
    }
    capacity_ += kGrowth;
    return true;
}

void ImageTable::reset() {
    for (auto& block : blocks_)
        std::memset(static_cast<void*>(block.get()), 0, sizeof(ScreenImage) * kGrowth);
    handed_out_ = 0;
    free_slots_.clear();
}

int32_t ImageTable::image_slot_acquire() {
    if (errors_.pending()) return 0;
    int32_t slot;
    if (!free_slots_.empty()) {
        slot = free_slots_.back();
        free_slots_.pop_back();
    } else {
        if (handed_out_ == capacity_ && !grow()) {
            errors_.raise_error(kErrorTableFull);
            return 0;
        }
        slot = int32_t(handed_out_++);
    }
    record(slot)->in_use = 1;
    return slot;
}

int32_t ImageTable::image_slot_release(int32_t slot) {
    if (errors_.pending()) return 0;
    return release_slot(slot);
}

int32_t ImageTable::release_slot(int32_t slot) {
    ScreenImage* image = record(slot);
    if (!image || !image->in_use) return 0;
    if (free_slots_.size() == free_slots_.capacity()) {
        try {
            free_slots_.reserve(free_slots_.capacity() + kGrowth);
        } catch (const std::bad_alloc&) {
            errors_.raise_error(kErrorFreeStackFull);
            return 0;
        }
    }
    // Memory views of an image (lock_id) belong to the memory-block
    // statements, which this runtime does not offer; nothing holds one.
    std::memset(static_cast<void*>(image), 0, sizeof(ScreenImage));
    free_slots_.push_back(slot);
    return 1;
}

}  // namespace quendrel
