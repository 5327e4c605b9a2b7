// library_state.cpp - definition order of the library's static objects.
#include "library_state.h"

namespace {
CDakoarThread g_dakoarThread;
CSvrData g_svrData;
COpcDaServerFactory g_serverFactory;
CLock g_startStopLock;
} // namespace

CDakoarThread &DakoarThread()
{
    return g_dakoarThread;
}

CSvrData &SvrData()
{
    return g_svrData;
}

COpcDaServerFactory &ServerFactory()
{
    return g_serverFactory;
}

CLock &StartStopLock()
{
    return g_startStopLock;
}
