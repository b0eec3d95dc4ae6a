#pragma once

// The host interface over the CAD program's automation objects, by late
// binding (member names, argument order and VARIANT types of the program's
// type library).
//
// Objects the operations hand back (a layer made current, an owner block,
// entities to copy) must be ones this adapter made.

#include "com/dispatch.h"
#include "host/host.h"

namespace palvane::com {

host::Ref<host::Document> WrapDocument(IDispatch* document);
host::Ref<host::LWPolyline> WrapPolyline(IDispatch* polyline);
// An entity of any kind, seen through the interface of its kind (a polyline,
// a point, a text...) as the program's ObjectName tells it.
host::Ref<host::Entity> WrapEntity(IDispatch* entity);

// The automation object behind an entity this adapter made (no new
// reference); null for other entities.
IDispatch* AutomationObjectOf(const host::Ref<host::Entity>& entity);

}  // namespace palvane::com
