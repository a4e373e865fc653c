// Stands in for the product's media player plug-in "events.dll": an
// in-process COM server with the exports a COM client looks for. The
// installer only registers it; it never creates its class.

#include <windows.h>
#include <objbase.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** object) {
  *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }
