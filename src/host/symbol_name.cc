#include "host/symbol_name.h"

#include <array>
#include <string_view>

#include "host/error.h"

namespace palvane::host {

void CheckSymbolName(const std::string& name, const char* what) {
  if (name.empty()) throw Error::InvalidInput(std::string(what) + " name is empty");
  if (name.size() > 255) throw Error::InvalidInput(std::string(what) + " name is too long");
  // The refused characters as a table: names are checked for every layer
  // and block a keyplan makes.
  static constexpr auto kRefused = [] {
    std::array<bool, 256> refused{};
    for (int c = 0; c < 0x20; ++c) refused[static_cast<size_t>(c)] = true;
    for (char c : std::string_view("<>/\\\":;?*|,=`"))
      refused[static_cast<unsigned char>(c)] = true;
    return refused;
  }();
  for (char c : name) {
    if (kRefused[static_cast<unsigned char>(c)]) {
      throw Error::InvalidInput(std::string(what) + " name \"" + name +
                                "\" holds a character that names may not contain");
    }
  }
}

}  // namespace palvane::host
