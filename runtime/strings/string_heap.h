// String values: descriptors, the string heap, the data-segment string area,
// temporaries and the static arena.
//
// Strings are laid out like a stack at the end of the heap with a 32-byte gap
// after each new one, so the newest strings grow and shrink in place.
// Assigning a temporary takes over its text instead of copying it.
// Compaction only closes gaps wider than 32 bytes; growth doubles the block.
// Program thread only. No text pointer survives a call that may allocate.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/kernel/emulated_memory.h"
#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

// Fields ordered by size: 48 bytes, cleared on every reuse.
struct StringDescriptor {
    uint8_t* text = nullptr;
    uint8_t* segment_record = nullptr;
    void* field_link = nullptr;
    int32_t length = 0;
    int32_t segment_record_offset = 0;
    uint32_t list_index = 0;
    uint32_t temp_index = 0;
    uint8_t in_segment = 0;
    uint8_t temporary = 0;
    uint8_t fixed = 0;
    uint8_t readonly = 0;
};

// A growable array of descriptor pointers in which released entries hold a
// marker; used for the two allocation lists and the temporaries.
class DescriptorList {
public:
    static StringDescriptor* released() {
        return reinterpret_cast<StringDescriptor*>(~uintptr_t(0));
    }
    explicit DescriptorList(uint32_t capacity) : entries_(capacity + 1, nullptr), capacity_(capacity) {}

    uint32_t count = 0;
    StringDescriptor*& operator[](uint32_t i) { return entries_[i]; }
    StringDescriptor* operator[](uint32_t i) const { return entries_[i]; }
    uint32_t capacity() const { return capacity_; }
    // Returns false when the array cannot grow.
    bool grow(uint32_t new_capacity);

private:
    std::vector<StringDescriptor*> entries_;
    uint32_t capacity_;
};

class StaticArena {
public:
    explicit StaticArena(RuntimeErrors& errors, uint32_t size = 1048576);
    // 8-byte aligned (16 from 16 bytes up), not zeroed.
    void* static_alloc(uint32_t n);
    uint8_t* current() const { return current_; }
    // Restores a procedure's saved pointer, or the arena start when the
    // saved pointer belongs to an older arena.
    void release_to(uint8_t* saved);
    uint32_t size() const { return size_; }

private:
    RuntimeErrors& errors_;
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;  // old arenas stay alive
    uint8_t* start_ = nullptr;
    uint8_t* current_ = nullptr;
    uint8_t* end_ = nullptr;
    uint32_t size_ = 0;
};

class StringHeap {
public:
    static constexpr uint32_t kGap = 32;
    static constexpr uint32_t kSegmentTextStart = 256;

    StringHeap(RuntimeErrors& errors, EmulatedMemory& memory, uint32_t heap_size = 1048576);
    ~StringHeap();
    StringHeap(const StringHeap&) = delete;
    StringHeap& operator=(const StringHeap&) = delete;

    StringDescriptor* string_new(uint32_t length, bool temporary) {
        if (uint64_t(used_) + length + kGap > size_) [[unlikely]]
            compact_heap(length + kGap);
        StringDescriptor* d = take_descriptor();
        d->length = int32_t(length);
        d->text = base_ + used_;
        used_ += length + kGap;
        list_entry(heap_list_, d, 510);
        if (temporary) list_temporary(d);
        return d;
    }
    // A temporary read-only descriptor over the text: nothing is copied.
    StringDescriptor* string_literal(const char* text, uint32_t length) {
        StringDescriptor* d = take_descriptor();
        d->text = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
        d->length = int32_t(length);
        d->readonly = 1;
        list_temporary(d);
        return d;
    }
    StringDescriptor* string_from_text(const char* text);
    StringDescriptor* string_make_temporary(StringDescriptor* d);
    void string_free(StringDescriptor* d) {
        d->field_link = nullptr;
        if (d->temp_index != 0) unlist_temporary(d);
        if (!d->fixed && !d->readonly) release_entry(d);
        recycle(d);
    }
    StringDescriptor* string_assign(StringDescriptor* dest, StringDescriptor* src) {
        // The common statement: a heap variable takes over a temporary's text.
        if (dest != src && !dest->fixed && !dest->in_segment && is_plain_temporary(src)) [[likely]] {
            take_over(heap_list_, dest, src);
            return dest;
        }
        return assign_general(dest, src);
    }
    StringDescriptor* string_concat(StringDescriptor* a, StringDescriptor* b);
    int32_t temp_cleanup(uint32_t mark, int32_t value) {
        // Entry 0 is the sentinel and is never freed.
        while (temps_.count > mark && temps_.count > 1) {
            --temps_.count;
            StringDescriptor* d = temps_[temps_.count];
            if (d != DescriptorList::released()) string_free(d);
        }
        return value;
    }
    StringDescriptor* segment_string_new(uint32_t length, bool temporary);

    // A fixed-length variable over caller-owned storage of `length` bytes.
    StringDescriptor* string_fixed(uint8_t* storage, uint32_t length);

    // Start-up: the segment's top pointer and its zeroed 8 bytes, then the
    // two permanent strings.
    void reset_segment();
    void create_permanent_strings();
    StringDescriptor* empty_string() const { return empty_; }
    StringDescriptor* space_string_1() const { return space_; }

    // A plain temporary may be changed in place by string functions.
    static bool is_plain_temporary(const StringDescriptor* d) {
        return d->temporary && !d->fixed && !d->readonly && !d->in_segment;
    }
    // Frees d when it is a temporary (any kind); used by functions that
    // consume their arguments.
    void free_if_temporary(StringDescriptor* d) {
        if (d->temporary) string_free(d);
    }

    uint32_t temp_count() const { return temps_.count; }
    uint32_t used() const { return used_; }
    uint32_t size() const { return size_; }
    uint8_t* base() const { return base_; }
    uint32_t heap_list_count() const { return heap_list_.count; }
    uint32_t segment_used() const { return segment_used_; }
    uint32_t segment_top() const { return segment_top_; }
    void set_segment_top(uint32_t top) { segment_top_ = top; }
    uint8_t* segment_base() { return memory_.at(EmulatedMemory::kDataSegment); }

    RuntimeErrors& errors() { return errors_; }

private:
    // Fast paths inline; the growth paths stay out of line.
    StringDescriptor* take_descriptor() {
        if (recycled_count_ != 0) [[likely]] {
            StringDescriptor* d = recycled_[--recycled_count_];
            *d = StringDescriptor{};
            return d;
        }
        return take_fresh_descriptor();
    }
    void recycle(StringDescriptor* d) {
        if (recycled_count_ == recycled_capacity_) [[unlikely]] {
            if (!grow_recycled()) return;
        }
        recycled_[recycled_count_++] = d;
    }
    StringDescriptor* take_fresh_descriptor();
    bool grow_recycled();
    void list_entry(DescriptorList& list, StringDescriptor* d, int critical) {
        if (list.count > list.capacity()) [[unlikely]]
            make_room(list, critical);
        const uint32_t index = list.count++;
        list[index] = d;
        d->list_index = index;
    }
    void list_temporary(StringDescriptor* d) {
        if (temps_.count > temps_.capacity()) [[unlikely]]
            make_room(temps_, 511);
        const uint32_t index = temps_.count++;
        temps_[index] = d;
        d->temp_index = index;
        d->temporary = 1;
    }
    void make_room(DescriptorList& list, int critical);
    void squeeze(DescriptorList& list);  // drops released entries, keeping order
    void compact_heap(uint32_t wanted);
    void compact_segment();
    void update_segment_record(StringDescriptor* d);
    void release_entry(StringDescriptor* d);  // from its allocation list
    void release_heap_entry(StringDescriptor* d);
    void release_segment_entry(StringDescriptor* d);
    void unlist_temporary(StringDescriptor* d) {
        temps_[d->temp_index] = DescriptorList::released();
        while (temps_.count > 1 && temps_[temps_.count - 1] == DescriptorList::released())
            --temps_.count;
        d->temp_index = 0;
        d->temporary = 0;
    }
    StringDescriptor* assign_general(StringDescriptor* dest, StringDescriptor* src);
    // dest takes the temporary's text and its place in the allocation list;
    // nothing is copied and src is recycled.
    void take_over(DescriptorList& list, StringDescriptor* dest, StringDescriptor* src) {
        list[dest->list_index] = DescriptorList::released();
        list[src->list_index] = dest;
        dest->list_index = src->list_index;
        temps_[src->temp_index] = DescriptorList::released();
        if (src->temp_index + 1 == temps_.count) --temps_.count;
        dest->text = src->text;
        dest->length = src->length;
        recycle(src);
    }
    bool copy_into(StringDescriptor* dest, StringDescriptor* src);  // variable-length dest

    RuntimeErrors& errors_;
    EmulatedMemory& memory_;

    std::vector<std::unique_ptr<StringDescriptor[]>> blocks_;
    uint32_t block_used_ = 0;
    // Recycled descriptors, a stack grown by doubling.
    std::unique_ptr<StringDescriptor*[]> recycled_;
    uint32_t recycled_count_ = 0;
    uint32_t recycled_capacity_ = 0;

    uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
    uint32_t used_ = 0;
    DescriptorList heap_list_{65535};

    uint32_t segment_used_ = kSegmentTextStart;
    uint32_t segment_top_ = 65528;
    DescriptorList segment_list_{65535};

    DescriptorList temps_{65535};

    StringDescriptor* empty_ = nullptr;
    StringDescriptor* space_ = nullptr;
};

}  // namespace quendrel
