// The block that stands for the PC's first megabyte (plus the high area up to
// FFFF:FFFF and three spare bytes so a 4-byte access at the top stays inside).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quendrel {

class EmulatedMemory {
public:
    static constexpr size_t kSize = 1114099;
    static constexpr uint32_t kDataSegment = 0x500;
    static constexpr uint32_t kTextVideo = 0xB8000;

    EmulatedMemory() : bytes_(new uint8_t[kSize]()) {}
    void zero() { std::memset(bytes_.get(), 0, kSize); }

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint8_t* at(uint32_t linear) { return bytes_.get() + linear; }

    uint8_t read8(uint32_t a) const { return bytes_[a]; }
    void write8(uint32_t a, uint8_t v) { bytes_[a] = v; }
    uint16_t read16(uint32_t a) const { return uint16_t(bytes_[a] | (bytes_[a + 1] << 8)); }
    void write16(uint32_t a, uint16_t v) {
        bytes_[a] = uint8_t(v);
        bytes_[a + 1] = uint8_t(v >> 8);
    }

    // Words that another thread reads (key-buffer head/tail, tick count) go
    // through atomic_ref so the hand-over is not a data race.
    uint16_t load16(uint32_t a) const {
        return std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(bytes_.get() + a))
            .load(std::memory_order_acquire);
    }
    void store16(uint32_t a, uint16_t v) {
        std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(bytes_.get() + a))
            .store(v, std::memory_order_release);
    }
    uint32_t load32(uint32_t a) const {
        return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(bytes_.get() + a))
            .load(std::memory_order_acquire);
    }
    void store32(uint32_t a, uint32_t v) {
        std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(bytes_.get() + a))
            .store(v, std::memory_order_release);
    }

private:
    std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace quendrel
