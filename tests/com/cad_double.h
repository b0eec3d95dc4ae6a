#pragma once

// A double of the CAD program's automation objects for tests under Wine:
// IDispatch objects over the in-memory host that answer by the same member
// names, invoke kinds and VARIANT types as the program's type library.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include "host/host.h"

namespace palvane::testing {

// The automation object of a document of the in-memory host (a new
// reference, which the caller releases).
IDispatch* DispatchDocument(const host::Ref<host::Document>& document);
IDispatch* DispatchEntity(const host::Ref<host::Entity>& entity);

}  // namespace palvane::testing
