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

}  // namespace palvane::com
