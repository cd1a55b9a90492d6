// The classes the platform serves itself, as the system's COM library does on Windows.
#include <objbase.h>

#include "internal.h"

HRESULT qxplatform::BuiltinClassObject(REFCLSID, REFIID, void** ppv) {
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
