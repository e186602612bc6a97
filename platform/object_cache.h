// The cache of recently closed named objects.
//
// Messaging reopens the same peer objects for every message. A backend may
// keep objects this process closed as weak references (no share in their
// life) so that reopening them is cheap; a reopen revalidates that someone
// else still holds the object, so a cached object is never revived. These
// calls exist for diagnostics and tests.
#pragma once

#include <cstddef>

namespace ztn::platform {

// Objects currently kept by the cache.
size_t CachedObjectCount();

// Forgets every cached object (closes their descriptors and mappings).
void ClearObjectCache();

}  // namespace ztn::platform
