// restart_quality.cpp - the last known value across a gateway restart.
#include "restart_quality.h"

#include "utc_time.h"

void KeepLastKnownWhileWaiting(PublishedValue &fresh, const PublishedValue &pushed)
{
    if (fresh.quality != kQualityWaiting || (pushed.quality != kQualityGood && pushed.quality != kQualityLastKnown))
        return;
    fresh.value = pushed.value;
    fresh.valid = false;
    fresh.timestamp = pushed.quality == kQualityLastKnown ? pushed.timestamp : UtcFileTimeNow();
    fresh.quality = kQualityLastKnown;
}
