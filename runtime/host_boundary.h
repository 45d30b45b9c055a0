// The boundary between the host and the module's C++ code. The host calls
// plain C functions and cannot take an exception: one unwinding into its
// frames would end the host's process (or corrupt it, across runtimes). Every
// function the host calls therefore runs its work through one of these
// helpers, which turn any exception at all (memory exhaustion, a length a
// container cannot hold, a lock the system cannot take, anything a host
// function throws) into the result that function gives on failure.
#pragma once

#include <utility>

namespace korv {

// Runs body() and returns its result; when body throws, returns failure()
// instead. failure must not throw.
template <class Body, class Failure>
auto at_host_boundary(Body &&body, Failure &&failure) noexcept -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return std::forward<Failure>(failure)();
  }
}

// host_callback<F, V>: a function of F's own signature that the host can be
// given in F's place. It calls F and, when F throws, returns V instead; a
// function without a result just returns.
template <auto Callback, auto... Failure>
struct HostCallback;

template <class Result, class... Args, Result (*Callback)(Args...), auto... Failure>
struct HostCallback<Callback, Failure...> {
  static Result call(Args... args) noexcept {
    return at_host_boundary([&]() -> Result { return Callback(args...); },
                            []() -> Result { return Result(Failure...); });
  }
};

template <auto Callback, auto... Failure>
inline constexpr auto host_callback = &HostCallback<Callback, Failure...>::call;

}  // namespace korv
