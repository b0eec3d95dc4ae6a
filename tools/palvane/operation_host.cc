#include "operation_host.h"

#ifdef PALVANE_AUTOMATION_HOST
// clang-format off
#include <windows.h>
// clang-format on

#include "com/dispatch_host.h"
#include "com/facade.h"
#include "com/ole_conversions.h"
#endif

namespace palvane::tools {
namespace {

bool g_automation_host = false;

}  // namespace

bool UseAutomationHost(bool on) {
#ifdef PALVANE_AUTOMATION_HOST
  g_automation_host = on;
#else
  g_automation_host = false;
  (void)on;
#endif
  return g_automation_host;
}

const host::Conversions& OperationConversions() {
#ifdef PALVANE_AUTOMATION_HOST
  static const com::OleConversions kUserLocale;
  if (g_automation_host) return kUserLocale;
#endif
  return host::InvariantConversions();
}

host::Ref<host::Document> AsSeen(const host::Ref<host::Document>& document) {
#ifdef PALVANE_AUTOMATION_HOST
  if (g_automation_host) {
    IDispatch* object = com::FacadeDocument(document);
    host::Ref<host::Document> seen = com::WrapDocument(object);
    if (object != nullptr) object->Release();
    return seen;
  }
#endif
  return document;
}

host::Ref<host::LWPolyline> AsSeen(const host::Ref<host::LWPolyline>& polyline) {
#ifdef PALVANE_AUTOMATION_HOST
  if (g_automation_host) {
    IDispatch* object = com::FacadeEntity(host::Ref<host::Entity>(polyline));
    host::Ref<host::LWPolyline> seen = com::WrapPolyline(object);
    if (object != nullptr) object->Release();
    return seen;
  }
#endif
  return polyline;
}

host::Ref<host::Entity> AsSeen(const host::Ref<host::Entity>& entity) {
#ifdef PALVANE_AUTOMATION_HOST
  if (g_automation_host) {
    IDispatch* object = com::FacadeEntity(entity);
    host::Ref<host::Entity> seen = com::WrapEntity(object);
    if (object != nullptr) object->Release();
    return seen;
  }
#endif
  return entity;
}

}  // namespace palvane::tools
