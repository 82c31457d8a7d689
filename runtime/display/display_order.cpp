#include "runtime/display/display_order.h"

namespace quendrel {

void DisplayOrder::set_display_order(const int32_t (&kinds)[4]) {
    if (errors_.pending()) return;
    bool seen[5] = {};
    for (int32_t kind : kinds) {
        if (kind < 0 || kind > 4 || (kind && seen[kind])) {
            errors_.raise_error(5);
            return;
        }
        seen[kind] = true;
    }
    std::atomic<int32_t>* position[5] = {nullptr, &software_layer_position,
                                         &hardware_layer_position, &hardware_layer1_position,
                                         &gl_layer_position};
    for (int kind = 1; kind <= 4; ++kind) position[kind]->store(0);
    for (int i = 0; i < 4; ++i)
        if (kinds[i]) position[kinds[i]]->store(i + 1);
}

}  // namespace quendrel
