#pragma once

// The host the operation tests run on: the in-memory host itself, or, in the
// Windows build when a test program is started with --host=automation, the
// COM adapter over the automation facade of the same in-memory drawing. The
// tests build their drawings and read the results in memory either way; the
// operations see the drawing as Seen() gives it.

#include "host/host.h"

namespace palvane::testing {

enum class HostKind { kMemory, kAutomation };

HostKind TestHost();
// Reads --host=memory|automation from the arguments; false for an unknown
// host or one this build lacks.
bool ChooseTestHost(int argc, char** argv);

// An object as the operations see it on the test host.
host::Ref<host::Document> Seen(const host::Ref<host::Document>& document);
host::Ref<host::Entity> Seen(const host::Ref<host::Entity>& entity);
host::Ref<host::LWPolyline> Seen(const host::Ref<host::LWPolyline>& polyline);
host::Ref<host::PointEntity> Seen(const host::Ref<host::PointEntity>& point);

// The in-memory entity behind one seen on the test host.
host::Ref<host::Entity> Behind(const host::Ref<host::Entity>& entity);

// Whether two references, however seen, are the same entity of the drawing.
bool SameEntity(const host::Ref<host::Entity>& a, const host::Ref<host::Entity>& b);

}  // namespace palvane::testing
