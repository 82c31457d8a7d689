#include <cstring>

#include "support/heap_fixture.h"

namespace quendrel {
namespace {

using StringHeapTest = HeapFixture;

TEST_F(StringHeapTest, NewStringsStackUpWithGapsAndFreeingUnwindsUsed) {
    StringDescriptor* a = heap.string_new(5, false);
    StringDescriptor* b = heap.string_new(5, false);
    EXPECT_EQ(offset(a), 0u);
    EXPECT_EQ(offset(b), 37u);
    EXPECT_EQ(heap.used(), 74u);
    heap.string_free(b);
    EXPECT_EQ(heap.used(), 37u);
    heap.string_free(a);
    EXPECT_EQ(heap.used(), 0u);
}

TEST_F(StringHeapTest, FreeingAnOlderStringKeepsUsedUntilTheNewestGoes) {
    StringDescriptor* a = heap.string_new(5, false);
    StringDescriptor* b = heap.string_new(5, false);
    heap.string_free(a);
    EXPECT_EQ(heap.used(), 74u);
    heap.string_free(b);
    EXPECT_EQ(heap.used(), 0u);
    EXPECT_EQ(heap.heap_list_count(), 0u);
}

TEST_F(StringHeapTest, LongerAssignmentToNewestStringGrowsInPlace) {
    heap.string_new(5, false);
    StringDescriptor* v = variable("abc");
    uint8_t* where = v->text;
    heap.string_assign(v, literal("0123456789"));
    EXPECT_EQ(v->text, where);
    EXPECT_EQ(text(v), "0123456789");
    EXPECT_EQ(heap.used(), offset(v) + 10u);
}

TEST_F(StringHeapTest, LongerAssignmentFitsInTheGapBeforeTheNextString) {
    StringDescriptor* v = heap.string_new(3, false);
    std::memcpy(v->text, "abc", 3);
    StringDescriptor* next = variable("zz");
    uint8_t* where = v->text;
    heap.string_assign(v, literal("0123456789abcdef"));  // 16 <= 3 + 32
    EXPECT_EQ(v->text, where);
    EXPECT_EQ(text(v), "0123456789abcdef");
    EXPECT_EQ(text(next), "zz");
}

TEST_F(StringHeapTest, AssignmentTooLongForTheGapRelocatesToTheEnd) {
    StringDescriptor* v = variable("abc");
    StringDescriptor* next = variable("zz");
    std::string big(60, 'x');
    heap.string_assign(v, literal(big.c_str()));
    EXPECT_GT(v->text, next->text);
    EXPECT_EQ(text(v), big);
    EXPECT_EQ(text(next), "zz");
    EXPECT_EQ(heap.used(), offset(v) + 60u);
}

TEST_F(StringHeapTest, AssigningATemporaryTakesOverItsText) {
    StringDescriptor* v = variable("old");
    StringDescriptor* t = temporary("brand new text");
    uint8_t* t_text = t->text;
    uint32_t temps = heap.temp_count();
    heap.string_assign(v, t);
    EXPECT_EQ(v->text, t_text);
    EXPECT_EQ(text(v), "brand new text");
    EXPECT_EQ(heap.temp_count(), temps - 1);
    // The temporary's descriptor is recycled: the next one handed out is it.
    EXPECT_EQ(heap.string_new(1, false), t);
}

TEST_F(StringHeapTest, ShorterAssignmentCopiesInPlace) {
    StringDescriptor* v = variable("a longer value");
    uint8_t* where = v->text;
    heap.string_assign(v, literal("short"));
    EXPECT_EQ(v->text, where);
    EXPECT_EQ(text(v), "short");
}

TEST_F(StringHeapTest, FixedLengthDestinationsPadAndCut) {
    struct Case {
        const char* source;
        const char* expected;
    } cases[] = {{"abc", "abc  "}, {"abcdefg", "abcde"}, {"", "     "}, {"vwxyz", "vwxyz"}};
    for (const Case& c : cases) {
        uint8_t storage[5];
        std::memset(storage, '#', sizeof storage);
        StringDescriptor* f = heap.string_fixed(storage, 5);
        heap.string_assign(f, temporary(c.source));
        EXPECT_EQ(text(f), c.expected) << c.source;
        EXPECT_EQ(f->length, 5);
    }
    EXPECT_EQ(heap.temp_count(), 1u);  // the temporary sources were freed
}

TEST_F(StringHeapTest, ConcatenationWithEmptyReturnsTheOtherOperandItself) {
    StringDescriptor* v = variable("left");
    EXPECT_EQ(heap.string_concat(v, literal("")), v);
    StringDescriptor* r = variable("right");
    EXPECT_EQ(heap.string_concat(literal(""), r), r);
}

TEST_F(StringHeapTest, ConcatenationFreesTemporaryOperands) {
    const uint32_t mark = heap.temp_count();
    StringDescriptor* v = variable("cabin ");
    StringDescriptor* r = heap.string_concat(v, temporary("seven"));
    EXPECT_EQ(text(r), "cabin seven");
    EXPECT_TRUE(r->temporary);
    EXPECT_EQ(text(v), "cabin ");
    EXPECT_EQ(heap.temp_count(), mark + 2);  // the freed operand's slot stays below r
    heap.temp_cleanup(mark, 0);
    EXPECT_EQ(heap.temp_count(), mark);
}

TEST_F(StringHeapTest, TempCleanupFreesDownToTheMarkOnly) {
    StringDescriptor* keep = temporary("keep");
    const uint32_t mark = heap.temp_count();
    temporary("a");
    heap.string_literal("lit", 3);
    temporary("b");
    EXPECT_EQ(heap.temp_cleanup(mark, 42), 42);
    EXPECT_EQ(heap.temp_count(), mark);
    EXPECT_EQ(text(keep), "keep");
    EXPECT_EQ(heap.temp_cleanup(mark, -1), -1);  // nothing above the mark
    EXPECT_EQ(heap.temp_count(), mark);
}

TEST_F(StringHeapTest, TempCountNeverDropsBelowTheSentinel) {
    StringDescriptor* a = temporary("a");
    StringDescriptor* b = temporary("b");
    heap.string_free(a);
    heap.string_free(b);
    EXPECT_EQ(heap.temp_count(), 1u);
    heap.temp_cleanup(0, 0);  // the sentinel is never freed
    EXPECT_EQ(heap.temp_count(), 1u);
}

TEST_F(StringHeapTest, CompactionClosesOnlyWideGapsAndKeepsTexts) {
    StringHeap small(errors, memory, 400);
    StringDescriptor* s[6];
    for (int i = 0; i < 6; ++i) {
        s[i] = small.string_new(20, false);
        std::memset(s[i]->text, 'a' + i, 20);
    }
    small.string_free(s[3]);
    // 312 + 100 + 32 bytes do not fit: compaction runs, then the heap grows.
    StringDescriptor* big = small.string_new(100, false);
    auto at = [&](StringDescriptor* d) { return d->text - small.base(); };
    EXPECT_EQ(at(s[0]), 0);
    EXPECT_EQ(at(s[1]), 52);   // 32-byte gaps stay
    EXPECT_EQ(at(s[2]), 104);
    EXPECT_EQ(at(s[4]), 124);  // moved down to the end of s[2]
    EXPECT_EQ(at(s[5]), 144);
    EXPECT_EQ(at(big), 164);
    EXPECT_EQ(small.size(), 132u + 800u);
    for (int i : {0, 1, 2, 4, 5})
        EXPECT_EQ(std::string(reinterpret_cast<char*>(s[i]->text), 20), std::string(20, char('a' + i)));
}

TEST_F(StringHeapTest, GrowthMovesEveryLiveText) {
    StringHeap small(errors, memory, 64);
    StringDescriptor* v = small.string_new(0, false);
    small.string_assign(v, small.string_from_text("survivor"));
    StringDescriptor* big = small.string_new(500, false);
    EXPECT_GE(small.size(), 564u);
    EXPECT_EQ(text(v), "survivor");
    EXPECT_EQ(big->length, 500);
}

TEST_F(StringHeapTest, ManyStringsGrowTheListsAndStayConsistent) {
    std::vector<StringDescriptor*> vars;
    for (int i = 0; i < 70000; ++i) {
        StringDescriptor* v = heap.string_new(0, false);
        heap.string_assign(v, temporary(std::to_string(i).c_str()));
        vars.push_back(v);
    }
    for (int i = 0; i < 70000; i += 2) heap.string_free(vars[i]);
    for (int i = 0; i < 70000; ++i) {
        StringDescriptor* t = heap.string_new(4, true);
        std::memcpy(t->text, "temp", 4);
        heap.temp_cleanup(1, 0);
    }
    for (int i = 1; i < 70000; i += 2) ASSERT_EQ(text(vars[i]), std::to_string(i));
}

TEST_F(StringHeapTest, SegmentStringsHaveRecordsAtTheTop) {
    heap.reset_segment();
    heap.create_permanent_strings();
    StringDescriptor* empty = heap.empty_string();
    StringDescriptor* space = heap.space_string_1();
    EXPECT_EQ(empty->length, 0);
    EXPECT_EQ(text(space), " ");
    EXPECT_TRUE(space->in_segment);
    EXPECT_EQ(heap.segment_top(), 65528u - 8u);
    // Record of " ": 16-bit length then 16-bit offset of its text.
    const uint8_t* rec = heap.segment_base() + space->segment_record_offset;
    EXPECT_EQ(rec[0] | rec[1] << 8, 1);
    EXPECT_EQ(rec[2] | rec[3] << 8, int(space->text - heap.segment_base()));
    EXPECT_EQ(space->text - heap.segment_base(), 256);
}

TEST_F(StringHeapTest, StaticArenaAlignsAndStartsANewArenaWhenFull) {
    StaticArena arena(errors, 64);
    uint8_t* a = static_cast<uint8_t*>(arena.static_alloc(3));
    uint8_t* b = static_cast<uint8_t*>(arena.static_alloc(8));
    EXPECT_EQ(b - a, 8);
    uint8_t* saved = arena.current();
    uint8_t* c = static_cast<uint8_t*>(arena.static_alloc(100));
    EXPECT_EQ(arena.size(), 104u + 128u);
    EXPECT_EQ(arena.current(), c + 104);
    // A pointer saved in the old arena resets to the new arena's start.
    arena.release_to(saved);
    EXPECT_EQ(arena.current(), c);
    // An extended value after an odd number of 8-byte blocks is still usable.
    arena.static_alloc(8);
    void* x = arena.static_alloc(sizeof(long double));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(x) % alignof(long double), 0u);
}

}  // namespace
}  // namespace quendrel
