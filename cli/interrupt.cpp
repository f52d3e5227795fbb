#include "cli/interrupt.h"

#include <csignal>

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void on_signal(int signal_number) {
    requested.store(true);
    // The next one is not caught: a user who presses Ctrl-C twice means it.
    std::signal(signal_number, SIG_DFL);
}

}  // namespace

const std::atomic<bool>& interrupt_install() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return requested;
}

bool interrupt_requested() { return requested.load(); }
