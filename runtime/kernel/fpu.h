// Floating-point set-up made by a translated program's prologue.
#pragma once

#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

// Sets 64-bit mantissa precision where the processor has an x87 unit and
// routes SIGFPE to fpu_fault_handler, which raises the critical error 11.
void install_fpu_handling(RuntimeErrors& errors);
void fpu_fault_handler(int signal);

}  // namespace quendrel
