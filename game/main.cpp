#include "game/program.h"
#include "runtime/runtime.h"

int main(int argc, char** argv) { return quendrel::runtime_main(argc, argv, quendrel::game_main); }
