// value_coercion.h - the OLE conversions between the value a client sends
// or asks for and the tag's canonical type: client writes are converted to
// the canonical type before they reach the host, reads are converted to the
// item's requested type. Results are OPC per-item codes.
#pragma once

#include <windows.h>
#include <oaidl.h>

// Converts a client's write value to the tag's canonical type with
// VariantChangeTypeEx under lcid. *out is initialised by the call and owned
// by the caller on S_OK. Results: S_OK; OPC_E_BADTYPE when the value cannot
// convert (an empty value, an array for a scalar tag, a text with characters
// the ANSI code page cannot represent); OPC_E_RANGE when it does not fit
// (DISP_E_OVERFLOW, or a text whose ANSI form is longer than
// maxTextBytes, 0 = no limit).
HRESULT CoerceWriteValue(const VARIANT &value, VARTYPE canonical, LCID lcid, unsigned maxTextBytes,
                         VARIANT *out);

// Converts *value in place to the requested type (VT_EMPTY: no
// conversion). A value that cannot convert is cleared: OPC_E_BADTYPE.
HRESULT CoerceReadValue(VARIANT *value, VARTYPE requested, LCID lcid);

// Whether values of the canonical type can ever be delivered in the
// requested type (VT_EMPTY and VT_VARIANT always can): decided by the OLE
// conversion of a sample value of the canonical type.
bool CanDeliverAs(VARTYPE canonical, VARTYPE requested);
