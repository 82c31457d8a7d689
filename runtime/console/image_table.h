// The table of ScreenImage records, named by slot number, with a stack of
// freed slots.
//
// Records are kept in blocks of 4096 that never move, so a reference to a
// record (the displayed page the frame builder reads from its own thread)
// stays valid while the table grows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/console/screen_image.h"
#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

class ImageTable {
public:
    static constexpr uint32_t kGrowth = 4096;

    explicit ImageTable(RuntimeErrors& errors);

    // Zeroes every record and forgets all slots (start-up).
    void reset();

    // Slot number, or 0 after a critical error when the table cannot grow.
    int32_t image_slot_acquire();
    // 1 when released, 0 when the slot was not in use.
    int32_t image_slot_release(int32_t slot);
    // The same without the pending-error check, for cleaning up after a
    // failed creation.
    int32_t release_slot(int32_t slot);

    // Null for a slot outside the table.
    ScreenImage* record(int32_t slot) {
        if (slot < 0 || uint32_t(slot) >= capacity_) return nullptr;
        return &blocks_[uint32_t(slot) / kGrowth][uint32_t(slot) % kGrowth];
    }

    uint32_t capacity() const { return capacity_; }
    uint32_t handed_out() const { return handed_out_; }

private:
    bool grow();

    RuntimeErrors& errors_;
    std::vector<std::unique_ptr<ScreenImage[]>> blocks_;
    uint32_t capacity_ = 0;
    uint32_t handed_out_ = 0;
    std::vector<int32_t> free_slots_;
};

}  // namespace quendrel
