// The reference every handle and view holds on a kernel object.
//
// Internal to the platform layer: Event, Mutex, SharedMemory and MappedView
// each hold a shared reference to one KernelObject. The object exists while any
// handle or view to it is open in any process; it is gone when the last one
// closes or when its last holder dies, and a later create makes a fresh one.
#pragma once

#include <memory>

namespace ztn::platform::detail {

class KernelObject;  // defined by the backend
using KernelObjectRef = std::shared_ptr<KernelObject>;

}  // namespace ztn::platform::detail
