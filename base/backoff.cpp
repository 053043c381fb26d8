#include "base/backoff.h"

namespace base {

void Backoff::Failed(TimePoint now) {
  // Delay of the k-th failure (k from 1): first × 2^(k-1), capped. Doubling stops once the
  // cap is reached, so the count may grow for months without overflowing the duration.
  Duration delay = first_;
  for (int k = 0; k < failures_ && delay < limit_; ++k) delay *= 2;
  if (delay > limit_) delay = limit_;
  ++failures_;
  next_attempt_ = now + delay;
}

}  // namespace base
