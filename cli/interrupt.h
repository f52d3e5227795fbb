// Ctrl-C for long commands: the first SIGINT (or SIGTERM) asks the work to
// stop at its next check; a second one ends the process at once.
#pragma once

#include <atomic>

// Installs the handlers and returns the flag they set. Call once.
const std::atomic<bool>& interrupt_install();

// True once an interrupt has been asked for.
bool interrupt_requested();

// Exit status of a command ended by Ctrl-C (128 + SIGINT).
inline constexpr int interrupt_exit_status = 130;
