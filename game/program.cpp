// The translated program's main routine: the adventure.
#include "game/program.h"

#include "game/adventure.h"
#include "runtime/runtime.h"

namespace quendrel {

void game_main(Runtime& rt) {
    // Lives for the rest of the run: the program never returns.
    Adventure* adventure = new Adventure(rt);
    adventure->main_program();
}

}  // namespace quendrel
