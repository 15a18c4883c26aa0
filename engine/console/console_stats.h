#pragma once
// The statistics the ring reader prints every 5 s: ring indices and the
// driver's counters from the shared region, console detection, and the
// driver's build and status records.

// frames: the frames the run has taken from the receive ring.
void gateway_print_stats(unsigned long long frames);
