#include "runtime/display/hardware_images.h"

#include <algorithm>
#include <new>

namespace quendrel {

int64_t HardwareCommandList::queue(int64_t serial, int32_t kind, int64_t image, int32_t destination,
                                   const float (&source)[6], const float (&target)[9], bool blend,
                                   bool smooth) {
    int64_t handle = records_.list_add();
    if (!handle) return 0;
    auto* c = new (records_.list_get(handle)) HardwareCommand{};
    c->serial = serial;
    c->kind = kind;
    c->image = image;
    c->destination = destination;
    std::copy(std::begin(source), std::end(source), c->source);
    std::copy(std::begin(target), std::end(target), c->target);
    c->blend = blend;
    c->smooth = smooth;
    // Linking publishes the filled record to the presenter.
    HardwareCommand* last = last_ ? get(last_) : nullptr;
    if (last)
        last->next.store(handle, std::memory_order_release);
    else
        first_.store(handle, std::memory_order_release);
    last_ = handle;
    return handle;
}

void HardwareCommandList::remove_executed() {
    int64_t keep = last_executed.load(std::memory_order_acquire);
    for (int64_t h = first(); h && h != keep;) {
        HardwareCommand* c = get(h);
        if (!c || !c->executed.load(std::memory_order_acquire)) return;
        int64_t next = c->next.load(std::memory_order_acquire);
        if (!next) return;  // the newest stays as the link for the next one
        first_.store(next, std::memory_order_release);
        records_.list_remove(h);
        h = next;
    }
}

}  // namespace quendrel
