// How the platform calls a routine of the driver: straight, for the driver
// linked into this executable, or through the image's call gate (see
// DriverImage::callGate), which runs NT code on a checking thunk.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>

#include "miniport/videoport.h"
#include "sim/platform_types.h"

namespace sim {

using DriverCallGate = decltype(DriverImage::callGate);

namespace detail {
template <typename T>
ULONG StackSlot(T value) {
  static_assert(sizeof(T) <= 4, "every argument of a driver routine is one 32-bit slot");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<ULONG>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<ULONG>(value);
  }
}
}  // namespace detail

template <typename R, typename... A>
R CallDriver(const DriverCallGate& gate, R(VPAPI* routine)(A...), std::type_identity_t<A>... args) {
  if (!gate) return routine(args...);
  const std::array<ULONG, sizeof...(A)> slots{detail::StackSlot<A>(args)...};
  return static_cast<R>(gate(reinterpret_cast<const void*>(routine), slots, sizeof(R) == 1));
}

}  // namespace sim
