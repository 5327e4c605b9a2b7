// dakoar_thread.cpp - class-object registration thread.
#include "dakoar_thread.h"

#include "dakora_da.h"
#include "library_state.h"
#include "server_identity.h"
#include "server_process.h"

#include <objbase.h>

namespace {
const HRESULT kComNotInitialised = -1;
}

CDakoarThread::CDakoarThread()
    : m_stopEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_startedEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_holdProcess(0),
      m_result(DAKORA_OK), m_cookie(0), m_comInit(kComNotInitialised)
{
}

CDakoarThread::~CDakoarThread()
{
    if (m_stopEvent != nullptr)
        CloseHandle(m_stopEvent);
    if (m_startedEvent != nullptr)
        CloseHandle(m_startedEvent);
}

int CDakoarThread::StartRegistration(int holdProcess)
{
    m_holdProcess = holdProcess;
    ResetEvent(m_startedEvent);
    // A stop requested while the previous run was already winding down must
    // not end this one.
    ResetEvent(m_stopEvent);
    if (!IsRunning() && !Start())
        return DAKORA_E_COMINIT; // no thread, so no COM either
    while (WaitForSingleObject(m_startedEvent, 100) == WAIT_TIMEOUT) {
    }
    Sleep(200);
    return m_result.load();
}

void CDakoarThread::SignalStop()
{
    SetEvent(m_stopEvent);
}

void CDakoarThread::RevokeClassObject()
{
    const DWORD cookie = m_cookie.exchange(0);
    if (cookie != 0 && FAILED(CoRevokeClassObject(cookie)))
        OutputDebugStringA("dakora_da: the class object could not be withdrawn\n");
}

int CDakoarThread::Register()
{
    m_comInit = CoInitializeEx(nullptr, 0);
    if (FAILED(m_comInit))
        return DAKORA_E_COMINIT;

    const ServerIdentity identity = CurrentIdentity();
    WCHAR text[80];
    if (MultiByteToWideChar(CP_ACP, 0, identity.classId.c_str(), -1, text, 80) == 0)
        return DAKORA_E_CLASSID;
    CLSID clsid;
    if (FAILED(CLSIDFromString(text, &clsid)))
        return DAKORA_E_CLASSID;

    // Before any client can come: every interface stays registered with
    // the RPC runtime until the stop.
    m_pin.Hold();

    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(clsid, &ServerFactory(),
                                       CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
    if (FAILED(hr))
        return DAKORA_E_REGISTER;
    m_cookie = cookie;
    CoResumeClassObjects();
    return DAKORA_OK;
}

void CDakoarThread::UninitialiseCom()
{
    m_pin.Release();
    if (m_comInit != kComNotInitialised) {
        if (SUCCEEDED(m_comInit))
            CoUninitialize();
        m_comInit = kComNotInitialised;
    }
}

// Runs once per start: register, hold until stopped, unregister.
void CDakoarThread::Step()
{
    const int result = Register();
    m_result.store(result);
    if (result != DAKORA_OK) {
        RequestStop();
        SetEvent(m_startedEvent);
        UninitialiseCom();
        return;
    }

    SetEvent(m_startedEvent);
    if (m_holdProcess)
        AddRefServerProcess();

    while (WaitForSingleObject(m_stopEvent, 100) == WAIT_TIMEOUT) {
    }

    SvrData().WriteToDec().StopWorker();
    if (m_holdProcess)
        ReleaseServerProcess();
    RevokeClassObject();
    UninitialiseCom();
    RequestStop();
}
