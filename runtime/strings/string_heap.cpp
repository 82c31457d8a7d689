#include "runtime/strings/string_heap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace quendrel {

namespace {
constexpr uint32_t kDescriptorBlock = 65536;
StringDescriptor* const kReleased = DescriptorList::released();
}  // namespace

bool DescriptorList::grow(uint32_t new_capacity) {
    try {
        entries_.resize(size_t(new_capacity) + 1, nullptr);
    } catch (const std::bad_alloc&) {
        return false;
    }
    capacity_ = new_capacity;
    return true;
}

// ---------------------------------------------------------------- arena

StaticArena::StaticArena(RuntimeErrors& errors, uint32_t size) : errors_(errors) {
    blocks_.emplace_back(new (std::nothrow) uint8_t[size]);
    if (!blocks_.back()) errors_.raise_error(504);
    start_ = current_ = blocks_.back().get();
    end_ = start_ + size;
    size_ = size;
}

void* StaticArena::static_alloc(uint32_t n) {
    n = (n + 7u) & ~7u;
    // Blocks of 16 bytes or more may hold an extended value (long double),
    // which needs 16-byte alignment; fresh blocks from new[] already have it.
    const uintptr_t align = n >= 16 ? 16 : 8;
    uint8_t* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(current_) + align - 1) & ~(align - 1));
    if (p <= end_ && uint64_t(end_ - p) > n) {
        current_ = p + n;
        return p;
    }
    uint64_t grown = uint64_t(n) + 2ull * size_;
    uint8_t* block = grown <= 0xFFFFFFFFull ? new (std::nothrow) uint8_t[grown] : nullptr;
    if (!block) {
        errors_.raise_error(504);
        return nullptr;
    }
    blocks_.emplace_back(block);
    size_ = uint32_t(grown);
    start_ = block;
    end_ = block + grown;
    current_ = block + n;
    return block;
}

void StaticArena::release_to(uint8_t* saved) {
    current_ = (saved >= start_ && saved <= end_) ? saved : start_;
}

// ---------------------------------------------------------------- heap

StringHeap::StringHeap(RuntimeErrors& errors, EmulatedMemory& memory, uint32_t heap_size)
    : errors_(errors), memory_(memory) {
    base_ = static_cast<uint8_t*>(std::malloc(heap_size ? heap_size : 1));
    if (!base_) errors_.raise_error(512);
    size_ = heap_size;
    recycled_.reset(new StringDescriptor*[kDescriptorBlock]);
    recycled_capacity_ = kDescriptorBlock;
    temps_[0] = nullptr;  // sentinel, never released
    temps_.count = 1;
}

StringHeap::~StringHeap() { std::free(base_); }

StringDescriptor* StringHeap::take_fresh_descriptor() {
    if (blocks_.empty() || block_used_ == kDescriptorBlock) {
        blocks_.emplace_back(new StringDescriptor[kDescriptorBlock]());
        block_used_ = 0;
    }
    return &blocks_.back()[block_used_++];
}

bool StringHeap::grow_recycled() {
    const uint64_t capacity = uint64_t(recycled_capacity_) * 2;
    StringDescriptor** grown =
        capacity <= 0xFFFFFFFFu ? new (std::nothrow) StringDescriptor*[capacity] : nullptr;
    if (!grown) {
        errors_.raise_error(508);
        return false;
    }
    std::memcpy(grown, recycled_.get(), sizeof(StringDescriptor*) * recycled_count_);
    recycled_.reset(grown);
    recycled_capacity_ = uint32_t(capacity);
    return true;
}

void StringHeap::squeeze(DescriptorList& list) {
    uint32_t live = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        StringDescriptor* d = list[i];
        if (d == kReleased) continue;
        d->list_index = live;
        list[live++] = d;
    }
    list.count = live;
}

void StringHeap::make_room(DescriptorList& list, int critical) {
    if (&list != &temps_) {
        // Allocation lists: close the released holes first, keeping order.
        squeeze(list);
        if (list.count < list.capacity() / 2) return;
    }
    if (!list.grow(list.capacity() * 2)) errors_.raise_error(critical);
}

void StringHeap::compact_heap(uint32_t wanted) {
    if (heap_list_.count > 0) {
        uint8_t* cursor = base_;
        for (uint32_t i = 0; i < heap_list_.count; ++i) {
            StringDescriptor* d = heap_list_[i];
            if (d == kReleased) continue;
            if (d->text > cursor + kGap) {
                std::memmove(cursor, d->text, size_t(d->length));
                d->text = cursor;
            }
            cursor = d->text + d->length;
        }
        used_ = uint32_t(cursor - base_);
    }
    if (uint64_t(wanted) + 2ull * used_ + kGap < size_) return;

    uint64_t grown = uint64_t(wanted) + 2ull * size_;
    uint8_t* block = grown <= 0xFFFFFFFFull
                         ? static_cast<uint8_t*>(std::realloc(base_, size_t(grown)))
                         : nullptr;
    if (!block) {
        errors_.raise_error(512);
        return;
    }
    for (uint32_t i = 0; i < heap_list_.count; ++i) {
        StringDescriptor* d = heap_list_[i];
        if (d != kReleased) d->text = block + (d->text - base_);
    }
    base_ = block;
    size_ = uint32_t(grown);
}

StringDescriptor* StringHeap::string_from_text(const char* text) {
    return string_literal(text, text ? uint32_t(std::strlen(text)) : 0);
}

StringDescriptor* StringHeap::string_make_temporary(StringDescriptor* d) {
    list_temporary(d);
    return d;
}

StringDescriptor* StringHeap::string_fixed(uint8_t* storage, uint32_t length) {
    StringDescriptor* d = take_descriptor();
    d->text = storage;
    d->length = int32_t(length);
    d->fixed = 1;
    return d;
}

void StringHeap::release_heap_entry(StringDescriptor* d) {
    heap_list_[d->list_index] = kReleased;
    while (heap_list_.count > 0 && heap_list_[heap_list_.count - 1] == kReleased)
        --heap_list_.count;
    if (heap_list_.count == 0) {
        used_ = 0;
    } else {
        StringDescriptor* last = heap_list_[heap_list_.count - 1];
        uint64_t end = uint64_t(last->text - base_) + uint32_t(last->length) + kGap;
        used_ = end < size_ ? uint32_t(end) : size_;
    }
}

void StringHeap::release_segment_entry(StringDescriptor* d) {
    segment_list_[d->list_index] = kReleased;
    if (d->list_index + 1 == segment_list_.count) --segment_list_.count;
}

void StringHeap::release_entry(StringDescriptor* d) {
    if (d->in_segment)
        release_segment_entry(d);
    else
        release_heap_entry(d);
}

void StringHeap::update_segment_record(StringDescriptor* d) {
    if (!d->segment_record) return;
    uint16_t len = uint16_t(d->length);
    uint16_t off = uint16_t(d->text - segment_base());
    std::memcpy(d->segment_record, &len, 2);
    std::memcpy(d->segment_record + 2, &off, 2);
}

// Assignment into a variable-length destination that is shorter than the
// source. Returns after the copy; the caller frees a temporary source.
bool StringHeap::copy_into(StringDescriptor* dest, StringDescriptor* src) {
    const uint32_t n = uint32_t(src->length);
    const bool segment = dest->in_segment;
    DescriptorList& list = segment ? segment_list_ : heap_list_;
    uint8_t* area = segment ? segment_base() : base_;
    const uint32_t limit = segment ? segment_top_ : size_;
    uint32_t& used = segment ? segment_used_ : used_;

    auto copy_as_last = [&]() -> bool {
        if (uint64_t(dest->text - area) + n > limit) return false;
        std::memmove(dest->text, src->text, n);
        dest->length = int32_t(n);
        used = uint32_t(dest->text - area) + n;
        return true;
    };

    bool done = false;
    if (dest->list_index + 1 == list.count) {
        done = copy_as_last();
    } else {
        StringDescriptor* next = nullptr;
        uint32_t skipped = 0;
        for (uint32_t i = dest->list_index + 1; i < list.count; ++i) {
            StringDescriptor* e = list[i];
            if (e == kReleased) {
                ++skipped;
                continue;
            }
            if (src->temporary && e == src) continue;
            next = e;
            break;
        }
        // A variable that keeps being reassigned sits in front of a growing
        // run of released entries; closing them keeps this search short.
        if (skipped > 4) squeeze(list);
        if (next) {
            if (next->text >= dest->text + n) {
                std::memmove(dest->text, src->text, n);
                dest->length = int32_t(n);
                done = true;
            }
        } else {
            list.count = dest->list_index + 1;
            done = copy_as_last();
        }
    }
    if (done) return true;

    // Relocate to the end of the area.
    list[dest->list_index] = kReleased;
    if (segment) {
        if (uint64_t(segment_used_) + n > segment_top_) compact_segment();
        if (uint64_t(segment_used_) + n > segment_top_) {
            errors_.raise_error(513);
            return false;
        }
    } else if (uint64_t(used_) + n > size_) {
        compact_heap(n);
    }
    list_entry(list, dest, segment ? 509 : 510);
    dest->text = (segment ? segment_base() : base_) + used;
    used += n;
    std::memmove(dest->text, src->text, n);
    dest->length = int32_t(n);
    return true;
}

StringDescriptor* StringHeap::assign_general(StringDescriptor* dest, StringDescriptor* src) {
    if (dest == src) return dest;
    if (dest->fixed) {
        uint32_t n = uint32_t(src->length) < uint32_t(dest->length) ? uint32_t(src->length)
                                                                    : uint32_t(dest->length);
        std::memmove(dest->text, src->text, n);
        std::memset(dest->text + n, ' ', uint32_t(dest->length) - n);
    } else if (src->temporary && !src->fixed && !src->readonly &&
               src->in_segment == dest->in_segment) {
        take_over(dest->in_segment ? segment_list_ : heap_list_, dest, src);
        update_segment_record(dest);
        return dest;
    } else if (dest->length >= src->length) {
        std::memmove(dest->text, src->text, uint32_t(src->length));
        dest->length = src->length;
    } else {
        copy_into(dest, src);
    }
    if (src->temporary) string_free(src);
    update_segment_record(dest);
    return dest;
}

StringDescriptor* StringHeap::string_concat(StringDescriptor* a, StringDescriptor* b) {
    if (b->length == 0) return a;
    if (a->length == 0) return b;
    uint32_t la = uint32_t(a->length), lb = uint32_t(b->length);
    StringDescriptor* r = string_new(la + lb, true);
    // string_new may have moved heap texts; read them only now.
    std::memcpy(r->text, a->text, la);
    std::memcpy(r->text + la, b->text, lb);
    free_if_temporary(a);
    free_if_temporary(b);
    return r;
}

// ---------------------------------------------------------------- segment

void StringHeap::reset_segment() {
    segment_used_ = kSegmentTextStart;
    segment_top_ = 65528;
    std::memset(segment_base() + segment_top_, 0, 8);
    segment_list_.count = 0;
}

void StringHeap::compact_segment() {
    uint8_t* area = segment_base();
    uint32_t cursor = kSegmentTextStart;
    for (uint32_t i = 0; i < segment_list_.count; ++i) {
        StringDescriptor* d = segment_list_[i];
        if (d == kReleased) continue;
        if (d->text != area + cursor) {
            std::memmove(area + cursor, d->text, uint32_t(d->length));
            d->text = area + cursor;
            update_segment_record(d);
        }
        cursor += uint32_t(d->length);
    }
    segment_used_ = cursor;
}

StringDescriptor* StringHeap::segment_string_new(uint32_t length, bool temporary) {
    if (uint64_t(segment_used_) + length > segment_top_) {
        compact_segment();
        if (uint64_t(segment_used_) + length > segment_top_) {
            errors_.raise_error(513);
            return nullptr;
        }
    }
    StringDescriptor* d = take_descriptor();
    d->in_segment = 1;
    d->length = int32_t(length);
    d->text = segment_base() + segment_used_;
    segment_used_ += length;
    list_entry(segment_list_, d, 509);
    if (temporary) {
        list_temporary(d);
        return d;
    }
    if (segment_top_ < 4 || segment_top_ - 4 < segment_used_) {
        errors_.raise_error(514);
        return d;
    }
    segment_top_ -= 4;
    d->segment_record_offset = int32_t(segment_top_);
    d->segment_record = segment_base() + segment_top_;
    update_segment_record(d);
    return d;
}

void StringHeap::create_permanent_strings() {
    empty_ = segment_string_new(0, false);
    space_ = segment_string_new(1, false);
    if (space_) space_->text[0] = ' ';
}

}  // namespace quendrel
