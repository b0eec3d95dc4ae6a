#pragma once

// How the operations reach a drawing the command read: the in-memory host
// itself, or (in the Windows build, with --host automation) the COM adapter
// over the automation facade of that drawing, as they reach the CAD
// program's drawing inside the program.

#include "host/convert.h"
#include "host/host.h"

namespace palvane::tools {

// Whether the operations go through the COM adapter; false by default.
// Only the Windows build has the adapter: elsewhere this returns false
// when asked for it.
bool UseAutomationHost(bool on);

// The conversions of text, numbers and dates the operations run with: the
// invariant forms on the in-memory host; through the COM adapter, the OLE
// conversions of the user's locale, as the COM server has them inside the
// program.
const host::Conversions& OperationConversions();

// An in-memory drawing, or one of its polylines, as the operations see it.
host::Ref<host::Document> AsSeen(const host::Ref<host::Document>& document);
host::Ref<host::LWPolyline> AsSeen(const host::Ref<host::LWPolyline>& polyline);
host::Ref<host::Entity> AsSeen(const host::Ref<host::Entity>& entity);

}  // namespace palvane::tools
