// opc_server_item_io.cpp - IOPCItemIO of the server object: reads and
// writes addressed by item ID, outside any group.
#include "opc_server.h"

#include "library_state.h"
#include "tag_batch_io.h"

STDMETHODIMP COpcDaServer::Read(DWORD dwCount, LPCWSTR *pszItemIDs, DWORD *, VARIANT **ppvValues,
                                WORD **ppwQualities, FILETIME **ppftTimeStamps, HRESULT **ppErrors)
{
    if (pszItemIDs == nullptr || ppvValues == nullptr || ppwQualities == nullptr ||
        ppftTimeStamps == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return ReadItemIDs(SvrData(), dwCount, pszItemIDs, ppvValues, ppwQualities, ppftTimeStamps,
                       ppErrors);
}

STDMETHODIMP COpcDaServer::WriteVQT(DWORD dwCount, LPCWSTR *pszItemIDs, OPCITEMVQT *pItemVQT,
                                    HRESULT **ppErrors)
{
    if (pszItemIDs == nullptr || pItemVQT == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return WriteItemIDsVQT(SvrData(), dwCount, pszItemIDs, pItemVQT, m_locale.load(), ppErrors);
}
