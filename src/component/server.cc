#include "component/server.h"

#include <atomic>

#include "component/convert_object.h"
#include "component/kefconvert_com.h"
#include "component/platform_services.h"

namespace kefconvert::component {
namespace {

std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};

// The one class factory. It lives as long as the library; what keeps the library loaded
// for a client between creations is LockServer, as COM prescribes.
class ConvertFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return ConvertObject::Create(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++server_locks;
    } else if (server_locks.fetch_sub(1) <= 0) {
      ++server_locks;  // more unlocks than locks: ignore the extra one
    }
    return S_OK;
  }
};

ConvertFactory factory;

}  // namespace

void ObjectCreated() { ++live_objects; }
void ObjectDestroyed() { --live_objects; }

bool ServerCanUnload() {
  return live_objects.load() == 0 && server_locks.load() == 0 && !PlatformObjectsAlive();
}

}  // namespace kefconvert::component

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Convert)) return CLASS_E_CLASSNOTAVAILABLE;
  return kefconvert::component::factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return kefconvert::component::ServerCanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return kefconvert::component::RegisterServer(); }

STDAPI DllUnregisterServer() { return kefconvert::component::UnregisterServer(); }
