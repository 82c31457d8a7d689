#pragma once

namespace quendrel {
class Runtime;
// The translated program's main routine, run on the program thread.
void game_main(Runtime& rt);
}  // namespace quendrel
