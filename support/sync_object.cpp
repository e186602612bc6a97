#include "support/sync_object.h"

namespace ztn {

SyncObjectEx::SyncObjectEx() : marker_(kConstructedMarker) {}

void SyncObjectEx::Enter() {
  if (Marker() == kConstructedMarker) section_.lock();
}

void SyncObjectEx::Leave() {
  if (Marker() == kConstructedMarker) section_.unlock();
}

}  // namespace ztn
