// dakoar_thread.h - the registration thread: initialises COM (multithreaded),
// registers the class object under the server's class id, signals that the
// start is done, then holds the registration until dakora_stop.
#pragma once

#include "rix_thread.h"
#include "rpc_interface_pin.h"

#include <atomic>

class CDakoarThread : public RIX::CThread {
public:
    CDakoarThread();
    ~CDakoarThread() override;

    // Steps 5 to 9 of dakora_start: runs the thread and waits for the
    // outcome of its registration. Returns the start's result code.
    int StartRegistration(int holdProcess);
    // Signals the stop event; the thread unregisters and ends by itself.
    void SignalStop();
    // Withdraws the class object from COM at once (from any thread of the
    // multithreaded apartment), so that no new client is sent here; a
    // second call does nothing.
    void RevokeClassObject();

protected:
    void Step() override;

private:
    int Register();
    void UninitialiseCom();

    HANDLE m_stopEvent;
    HANDLE m_startedEvent;
    int m_holdProcess;
    std::atomic<int> m_result;
    std::atomic<DWORD> m_cookie; // 0 while no class object is registered
    HRESULT m_comInit; // -1 while COM is not initialised on the thread
    CRpcInterfacePin m_pin; // held from registration to stop
};
