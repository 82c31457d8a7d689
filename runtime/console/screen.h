// Screen images and pages: image creation, the page table, the current
// references (displayed page, output destination, source image), screen
// modes and text sizes.
//
// Text pages of the console lie in EmulatedMemory from 0xB8000, so memory
// access and printing see the same cells. Screen changes free and rebuild
// pages; while the frame builder runs on its own thread they happen under
// the pause_state handshake so it never reads a page being replaced.
//
// Image handles seen by programs are -slot; page numbers go through the
// page table and are created on demand.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "runtime/console/image_table.h"
#include "runtime/console/screen_image.h"
#include "runtime/display/display_state.h"
#include "runtime/display/display_tables.h"
#include "runtime/kernel/emulated_memory.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"

namespace quendrel {

// Told when the screen was set up anew, so the soft-key line is drawn again.
class SoftKeyRedraw {
public:
    virtual ~SoftKeyRedraw() = default;
    virtual void redraw_soft_key_line() = 0;
};

class Screen {
public:
    // Video memory holds at most this many text pages.
    static constexpr int32_t kTextPages = 8;
    static constexpr uint32_t kVideoBytes = 65536;

    Screen(RuntimeErrors& errors, Platform& platform, EmulatedMemory& memory,
           const DisplayTables& tables, DisplayState& display);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // Start-up: slots 0 and 1 reserved, the 80x25 text screen with eight
    // pages, screen_untouched set, and the two built-in 32-bit images.
    // Needs init_display_tables and a zeroed EmulatedMemory before it.
    void start_up();

    int32_t image_slot_acquire() { return table_.image_slot_acquire(); }
    int32_t image_slot_release(int32_t slot) { return table_.image_slot_release(slot); }

    int32_t image_init(uint8_t* data, int32_t width, int32_t height, int32_t mode);
    int32_t image_alloc(int32_t width, int32_t height, int32_t mode);
    // Frees the memory the image owns and releases its slot.
    void image_free(int32_t slot);
    int32_t image_new(int32_t width, int32_t height, int32_t mode, bool mode_given);
    int32_t page_get(int32_t page);
    void image_set_font(uint32_t font, ScreenImage& image);

    void set_destination(int32_t target);
    // Point the destination or the source at a slot known to hold an image,
    // without the handle checks, so a reference can be put back even while
    // an error is pending.
    void set_destination_slot(int32_t slot) { set_current(slot, destination_, destination_slot_); }
    void set_source_slot(int32_t slot) { set_current(slot, source_image_, source_image_slot_); }
    int32_t destination_handle() const { return -destination_slot_; }
    int32_t image_width(int32_t target, bool given);
    int32_t image_height(int32_t target, bool given);
    void page_copy(int32_t from, int32_t to);
    void set_width(int32_t columns, int32_t rows, uint32_t flags);
    void screen_mode(int32_t mode, int32_t colour_switch, int32_t active_page,
                     int32_t visual_page, int32_t fifth, uint32_t flags);

    // A page number or an image handle to its slot; raises error_code and
    // returns 0 for an invalid handle.
    int32_t resolve_target(int32_t target, int32_t error_code);

    ScreenImage* image(int32_t slot) { return table_.record(slot); }
    ScreenImage& destination() { return *destination_; }
    int32_t destination_slot() const { return destination_slot_; }
    ScreenImage& source_image() { return *source_image_; }
    int32_t source_image_slot() const { return source_image_slot_; }
    // Read by the frame builder from its own thread.
    ScreenImage* display_page() const { return display_page_.load(std::memory_order_acquire); }
    int32_t display_page_slot() const { return display_page_slot_; }
    int32_t active_page() const { return active_page_; }
    // Slot of an existing page, 0 when the page does not exist.
    int32_t page_slot(int32_t page) const {
        return page >= 0 && size_t(page) < page_table_.size() ? page_table_[page] : 0;
    }
    int32_t page_count() const { return int32_t(page_table_.size()); }
    uint32_t slots_handed_out() const { return table_.handed_out(); }

    // Rows and columns in characters (font cells on pixel images).
    int32_t text_rows(const ScreenImage& image) const;
    int32_t text_columns(const ScreenImage& image) const;

    // Stops the frame builder while the screen changes, when it runs on its
    // own thread; returns whether a pause was taken, for end_pause.
    bool begin_pause();
    void end_pause(bool paused);

    void set_soft_key_redraw(SoftKeyRedraw* redraw) { soft_key_redraw_ = redraw; }

    RuntimeErrors& errors() { return errors_; }
    Platform& platform() { return platform_; }
    EmulatedMemory& memory() { return memory_; }
    const DisplayTables& tables() const { return tables_; }
    DisplayState& display() { return display_; }

    // 1 until the program changes the screen; the first cursor placement
    // below row 25 then switches to 50 rows.
    uint8_t screen_untouched = 0;

private:
    struct TextSize {
        int32_t columns = 0, rows = 0;
        uint32_t font = 0;
    };

    bool valid_image_handle(int64_t slot);
    void set_current(int32_t slot, ScreenImage*& ref, int32_t& ref_slot);
    void set_display_page(int32_t slot);
    void release_pages();
    bool build_text_pages(const TextSize& size);
    TextSize choose_text_size(const TextSize& previous) const;
    void page_reset(ScreenImage& image);

    RuntimeErrors& errors_;
    Platform& platform_;
    EmulatedMemory& memory_;
    const DisplayTables& tables_;
    DisplayState& display_;
    ImageTable table_;
    std::vector<int32_t> page_table_;

    ScreenImage* destination_ = nullptr;
    int32_t destination_slot_ = 0;
    ScreenImage* source_image_ = nullptr;
    int32_t source_image_slot_ = 0;
    std::atomic<ScreenImage*> display_page_{nullptr};
    int32_t display_page_slot_ = 0;
    int32_t active_page_ = 0;
    // Page 0 is an image the program made (screen mode with a handle).
    bool page0_is_program_image_ = false;
    bool size_pending_ = false;
    TextSize pending_size_;
    SoftKeyRedraw* soft_key_redraw_ = nullptr;
};

}  // namespace quendrel
