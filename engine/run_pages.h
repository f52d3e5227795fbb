// Memory for the work areas of a run: whole pages straight from the system.
#pragma once

#include <cstddef>

// Returns a block of at least `bytes` zeroed bytes aligned to 64, or null when
// the system has no memory for it. Blocks of 2 MiB and more are laid on
// transparent huge pages where the kernel offers them: the transform's passes
// over 16 MiB arrays then miss the TLB far less, and a run takes dozens of
// page faults instead of thousands. Release the block with pi_pages_release.
void* pi_pages_allocate(size_t bytes);

// Gives back a block of pi_pages_allocate; null does nothing.
void pi_pages_release(void* block);
