// The three software frames handed from the frame builder to the presenter.
//
// A frame's state and serial live together in one atomic word, and every
// state change is a compare-and-swap from the (state, serial) pair the
// changer last saw. A frame that was claimed and completed again between a
// look and a change carries a new serial, so the stale change fails instead
// of dropping or promoting the wrong picture.
//
// Pixels are written only while a frame is Building (by the one builder),
// and read by the presenter only while it is Shown; the builder also reads
// a Ready or Shown frame when it copies the previous picture.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace quendrel {

enum class FrameState : int32_t { Free = 1, Building = 2, Ready = 3, Shown = 4 };

struct FrameTag {
    FrameState state;
    int64_t serial;
};

struct SoftwareFrame {
    std::atomic<uint64_t> tag{pack(FrameState::Free, 0)};
    std::unique_ptr<uint32_t[]> pixels;  // 0xAARRGGBB, rows from the top
    int32_t width = 0, height = 0;
    int32_t capacity = 0;  // bytes

    FrameTag load() const { return unpack(tag.load()); }
    FrameState state() const { return load().state; }
    int64_t serial() const { return load().serial; }
    // Moves from exactly `from` to `to`; false when the frame changed.
    bool change(FrameTag from, FrameTag to) {
        uint64_t expected = pack(from.state, from.serial);
        return tag.compare_exchange_strong(expected, pack(to.state, to.serial));
    }

    static constexpr uint64_t pack(FrameState state, int64_t serial) {
        return uint64_t(serial) << 3 | uint64_t(state);
    }
    static constexpr FrameTag unpack(uint64_t word) {
        return {FrameState(word & 7), int64_t(word >> 3)};
    }
};

class FrameRing {
public:
    static constexpr int kFrames = 3;

    // All frames Free with serial 0, serials restarted; buffers are kept.
    void reset();

    SoftwareFrame& frame(int i) { return frames_[size_t(i)]; }
    const SoftwareFrame& frame(int i) const { return frames_[size_t(i)]; }

    // Index of the Ready or Shown frame with the highest serial above 0,
    // or -1: the picture an incremental build starts from.
    int most_recent_picture() const;

    // The presenter's hand-over: the newest Ready frame newer than the
    // Shown one becomes Shown and every older picture Free. `next` is the
    // frame to show (the old Shown one when nothing newer is ready, -1 when
    // there is no picture at all).
    struct Promotion {
        int shown = -1, next = -1;
    };
    Promotion promote_newest();

    std::atomic<int64_t> next_frame_serial{1};
    std::atomic<int64_t> latest_frame_serial{0};

private:
    std::array<SoftwareFrame, kFrames> frames_;
};

}  // namespace quendrel
