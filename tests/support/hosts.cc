#include "support/hosts.h"

#include <cstring>
#include <string>

#ifdef _WIN32
#include "com/dispatch_host.h"
#include "com/facade.h"
#endif

namespace palvane::testing {
namespace {

HostKind g_host = HostKind::kMemory;

}  // namespace

HostKind TestHost() { return g_host; }

bool ChooseTestHost(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--host=", 0) != 0) continue;
    const std::string kind = arg.substr(7);
    if (kind == "memory") {
      g_host = HostKind::kMemory;
#ifdef _WIN32
    } else if (kind == "automation") {
      g_host = HostKind::kAutomation;
#endif
    } else {
      return false;
    }
  }
  return true;
}

host::Ref<host::Document> Seen(const host::Ref<host::Document>& document) {
#ifdef _WIN32
  if (g_host == HostKind::kAutomation && document) {
    IDispatch* object = com::FacadeDocument(document);
    host::Ref<host::Document> seen = com::WrapDocument(object);
    object->Release();
    return seen;
  }
#endif
  return document;
}

host::Ref<host::Entity> Seen(const host::Ref<host::Entity>& entity) {
#ifdef _WIN32
  if (g_host == HostKind::kAutomation && entity && com::AutomationObjectOf(entity) == nullptr) {
    IDispatch* object = com::FacadeEntity(entity);
    host::Ref<host::Entity> seen = com::WrapEntity(object);
    object->Release();
    return seen;
  }
#endif
  return entity;
}

host::Ref<host::LWPolyline> Seen(const host::Ref<host::LWPolyline>& polyline) {
  return Seen(host::Ref<host::Entity>(polyline)).As<host::LWPolyline>();
}

host::Ref<host::PointEntity> Seen(const host::Ref<host::PointEntity>& point) {
  return Seen(host::Ref<host::Entity>(point)).As<host::PointEntity>();
}

host::Ref<host::Entity> Behind(const host::Ref<host::Entity>& entity) {
#ifdef _WIN32
  if (IDispatch* object = com::AutomationObjectOf(entity)) return com::FacadeEntityTarget(object);
#endif
  return entity;
}

bool SameEntity(const host::Ref<host::Entity>& a, const host::Ref<host::Entity>& b) {
  return Behind(a).get() == Behind(b).get();
}

}  // namespace palvane::testing
