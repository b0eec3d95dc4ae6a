#include "keyplan/form.h"

namespace palvane::keyplan {

const FormDescription& NeloForm() {
  static const FormDescription kForm{
      "NeloForm",
      "Nelo For Mapinfo",
      4530,
      2100,
      {
          {"Text1", ControlKind::kTextBox, "Text1", 120, 600, 3735, 375, 1},
          {"OKCommand", ControlKind::kCommandButton, "OK", 960, 1080, 1995, 375, 0},
          {"Label3", ControlKind::kLabel, "Cross - Section Identifier Code", 120, 240, 3015, 315,
           2},
      }};
  return kForm;
}

}  // namespace palvane::keyplan
