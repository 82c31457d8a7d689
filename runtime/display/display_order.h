// Where each layer is drawn in a redraw: positions 1-4, 0 = not drawn.
// Set from the program thread, read by the presenter and the frame builder
// (which skips building for a software screen nobody draws).
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

enum : int32_t {
    kLayerSoftware = 1,
    kLayerHardware = 2,
    kLayerHardware1 = 3,  // the second hardware layer
    kLayerGl = 4,
};

class DisplayOrder {
public:
    explicit DisplayOrder(RuntimeErrors& errors) : errors_(errors) {}

    // Each value 0 or a layer kind, the non-zero ones distinct; the kind
    // named i-th gets position i.
    void set_display_order(const int32_t (&kinds)[4]);
    // The three preset orders of the companion statement.
    void gl_layer_behind() {
        set_display_order({kLayerGl, kLayerSoftware, kLayerHardware, kLayerHardware1});
    }
    void gl_layer_on_top() {
        set_display_order({kLayerSoftware, kLayerHardware, kLayerGl, kLayerHardware1});
    }
    void gl_layer_only() { set_display_order({kLayerGl, 0, 0, 0}); }

    std::atomic<int32_t> software_layer_position{1};
    std::atomic<int32_t> hardware_layer_position{2};
    std::atomic<int32_t> gl_layer_position{3};
    std::atomic<int32_t> hardware_layer1_position{4};

private:
    RuntimeErrors& errors_;
};

}  // namespace quendrel
