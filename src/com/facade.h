#pragma once

// The automation facade: IDispatch objects over any drawing host that answer
// by the CAD program's member names, invoke kinds, argument orders and
// VARIANT types (points as arrays of three Doubles, extended data as two
// arrays, failures as DISP_E_EXCEPTION with the program's scode and
// description). Like the program, it hands out a new object on every
// property get and method result, so that callers cannot rely on identity.
// It checks what it is given as strictly as the program's reference says the
// program does: a system variable or an extended data value of the wrong
// type is refused, a property put by reference is not a put.
//
// The Windows command line (--host automation) and the tests run the
// operations through the COM adapter over this facade of the in-memory host.

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include "host/host.h"

namespace palvane::com {

// The automation object of a host document or entity: a new reference, which
// the caller releases. Null for an empty reference.
IDispatch* FacadeDocument(const host::Ref<host::Document>& document);
IDispatch* FacadeEntity(const host::Ref<host::Entity>& entity);

// The host entity behind an entity object of this facade; empty for any
// other object.
host::Ref<host::Entity> FacadeEntityTarget(IDispatch* object);

}  // namespace palvane::com
