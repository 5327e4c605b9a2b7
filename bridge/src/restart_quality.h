// restart_quality.h - what an item shows while a gateway that started again
// has not polled yet: the gateway has no value for it ("waiting for initial
// data"), but the bridge still holds the one it last published, which is
// then the last known value.
#pragma once

#include "segment_records.h"

// fresh: an item's value in a new snapshot; pushed: what was last pushed
// for the same item. A fresh record that waits for its first poll takes over the
// pushed value as the last known one (stamped now unless it already was
// the last known value); any other record is left as it is.
void KeepLastKnownWhileWaiting(PublishedValue &fresh, const PublishedValue &pushed);
