// library_state.h - the process-wide objects of the library, built when it
// is loaded in this order: registration thread, then the tag table with its
// write-forwarding worker; the class factory is a plain static object.
#pragma once

#include "dakoar_thread.h"
#include "lock.h"
#include "server_factory.h"
#include "svr_data.h"

CDakoarThread &DakoarThread();
CSvrData &SvrData();
COpcDaServerFactory &ServerFactory();
// Serialises dakora_start and dakora_stop against each other.
CLock &StartStopLock();
