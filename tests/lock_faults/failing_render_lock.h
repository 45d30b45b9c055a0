// A render lock that fails on demand, linked into the lock-fault tests in
// place of the module's own (runtime/render_lock.cpp): the rest of the
// module's code is the real one. While failing, taking the lock throws the
// std::system_error a system lock throws when it cannot be taken.
#pragma once

namespace korv::testing {

// From now on every attempt to take the lock fails (or, with false, none).
void set_render_lock_failing(bool failing);

// Attempts that failed since the program started.
long failed_render_lock_attempts();

}  // namespace korv::testing
