#include "runtime/display/frame_ring.h"

namespace quendrel {

void FrameRing::reset() {
    for (SoftwareFrame& f : frames_) f.tag.store(SoftwareFrame::pack(FrameState::Free, 0));
    next_frame_serial.store(1);
    latest_frame_serial.store(0);
}

int FrameRing::most_recent_picture() const {
    int best = -1;
    int64_t best_serial = 0;
    for (int i = 0; i < kFrames; ++i) {
        FrameTag t = frames_[size_t(i)].load();
        bool picture = t.state == FrameState::Ready || t.state == FrameState::Shown;
        if (picture && t.serial > best_serial) {
            best = i;
            best_serial = t.serial;
        }
    }
    return best;
}

FrameRing::Promotion FrameRing::promote_newest() {
    for (;;) {
        FrameTag tags[kFrames];
        Promotion p;
        for (int i = 0; i < kFrames; ++i) {
            tags[i] = frames_[size_t(i)].load();
            if (tags[i].state == FrameState::Shown) p.shown = i;
        }
        int64_t floor = p.shown >= 0 ? tags[p.shown].serial : 0;
        for (int i = 0; i < kFrames; ++i)
            if (tags[i].state == FrameState::Ready && tags[i].serial > floor) {
                p.next = i;
                floor = tags[i].serial;
            }
        if (p.next < 0) {
            p.next = p.shown;
            return p;
        }
        const int64_t serial = tags[p.next].serial;
        // Fails only when the builder reclaimed that frame meanwhile.
        if (!frames_[size_t(p.next)].change(tags[p.next], {FrameState::Shown, serial})) continue;
        for (int i = 0; i < kFrames; ++i) {
            if (i == p.next) continue;
            bool picture = tags[i].state == FrameState::Ready || tags[i].state == FrameState::Shown;
            // A frame the builder claimed since the look keeps its new state.
            if (picture && tags[i].serial < serial)
                frames_[size_t(i)].change(tags[i], {FrameState::Free, tags[i].serial});
        }
        return p;
    }
}

}  // namespace quendrel
