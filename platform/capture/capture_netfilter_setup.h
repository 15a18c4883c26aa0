#pragma once
// The netfilter backend's dealings with the rest of the system (see
// capture_netfilter.h for what the chains do). Internal to this folder.

#include "platform/capture/capture_filter.h"

#include <stdint.h>

#include <vector>

namespace nfsetup {

// Installs the chains of a handle whose queue is bound, all or nothing: first
// removes the chains nobody owns any more, then notes in *next_queue the
// queue of the client whose chains came first until now (-1: none; this
// process's other open handles, own_others, do not count). Returns a capture
// error code.
int install_rules(const quorlix_filter_scope &scope, uint16_t queue, const std::vector<uint16_t> &own_others,
                  int *next_queue);

// Removes the chains of a handle that is gone (its queue already unbound).
void remove_rules(uint16_t queue);

// The process holds CAP_NET_ADMIN and CAP_NET_RAW.
bool has_capabilities();

// Under the test runner the real backend may only run in a network namespace
// the runner or a test made for itself.
bool allowed_here();

// The last packet number the kernel gave out on the queue, or -1.
int64_t kernel_last_id(uint16_t queue);

} // namespace nfsetup
