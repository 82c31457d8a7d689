#include "runtime/kernel/fpu.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstdint>

namespace quendrel {

namespace {
// A signal handler cannot be handed a context, so the program's error
// channel is kept here; only the program thread's prologue sets it.
std::atomic<RuntimeErrors*> fault_errors{nullptr};
}  // namespace

void fpu_fault_handler(int) {
    if (RuntimeErrors* errors = fault_errors.load()) errors->raise_error(11);
    std::_Exit(0);
}

void install_fpu_handling(RuntimeErrors& errors) {
#if defined(__x86_64__) || defined(__i386__)
    uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = uint16_t((control & ~0x0300u) | 0x0300u);  // precision control: 64-bit mantissa
    __asm__ volatile("fldcw %0" : : "m"(control));
#endif
    fault_errors.store(&errors);
    struct sigaction action {};
    action.sa_handler = fpu_fault_handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGFPE, &action, nullptr);
}

}  // namespace quendrel
