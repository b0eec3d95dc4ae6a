#pragma once

// The host interface over the CAD program's automation objects, by late
// binding (member names, argument order and VARIANT types of the program's
// type library).
//
// Adapted so far: what LWPolyPntAlong uses (the document's Name and Utility;
// the utility's geometry; the polyline's Coordinates, Coordinate, GetBulge,
// Closed, Length). Other members raise an error saying they are not adapted
// yet; the COM server refuses the operations that need them.

#include "com/dispatch.h"
#include "host/host.h"

namespace palvane::com {

host::Ref<host::Document> WrapDocument(IDispatch* document);
host::Ref<host::LWPolyline> WrapPolyline(IDispatch* polyline);

}  // namespace palvane::com
