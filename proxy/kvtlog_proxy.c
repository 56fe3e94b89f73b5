/* The proxy/stub code of the four interfaces, as widl generates it and the build corrects
   it (out_string_offsets.cmake). */
#include <objbase.h>

#ifdef __MINGW32__
/* MinGW-w64's unknwn.h declares the IUnknown proxy routines for C++ only; the generated
   code is C and puts them into every proxy vtable. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#endif

#include "kvtlog_p.c"
