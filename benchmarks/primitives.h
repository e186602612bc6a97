// The cost of the building blocks a round trip is made of, measured in this
// process: a bare system call, the lock calls that keep object lifetimes, a
// futex wake, a shared memory cycle, and the platform layer's own opens.
// They turn a profile's call counts into microseconds.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ztn::bench {

struct Primitive {
  std::string key;
  std::string label;
  // Prepares the operation and returns it; an empty function (with `error`
  // set) when it cannot be prepared. The operation returns false on failure.
  std::function<std::function<bool()>(std::string& error)> prepare;
};

// The OS's own operations (os_primitives.cpp).
std::vector<Primitive> OsPrimitives();
// The platform layer's object opens (platform_primitives.cpp).
std::vector<Primitive> PlatformPrimitives();

}  // namespace ztn::bench
