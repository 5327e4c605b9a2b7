// single_instance.h - one Lumaret per session: the named mutex, and the
// first copy's window brought to the front by a second copy.
#pragma once

// Creates the mutex "_22g_quenlor_lumaret_mutex" (owned, kept open for the
// life of the process). False when another copy holds it; its main window
// has then been shown and brought to the foreground.
bool TakeSingleInstance();
