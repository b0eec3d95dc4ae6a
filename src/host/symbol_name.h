#pragma once

#include <string>

namespace palvane::host {

// Validates a name of a layer, block, coordinate system, registered
// application or selection set as the program does; raises its error when
// the name is empty, longer than 255 bytes or holds a character such names
// may not (control characters and <>/\\":;?*|,=`). `what` names the kind in
// the message ("layer name ... holds a character ...").
void CheckSymbolName(const std::string& name, const char* what);

}  // namespace palvane::host
