#include "gis/qgis_styles.h"

namespace palvane::tools {
namespace {

// A line symbol of one colour and width in millimetres.
#define PALVANE_LINE_SYMBOL(NAME, COLOR, WIDTH)                              \
  "   <symbol type=\"line\" name=\"" NAME                                    \
  "\" alpha=\"1\" clip_to_extent=\"1\" "                                     \
  "force_rhr=\"0\">\n"                                                       \
  "    <layer class=\"SimpleLine\" pass=\"0\" locked=\"0\" enabled=\"1\">\n" \
  "     <Option type=\"Map\">\n"                                             \
  "      <Option name=\"line_color\" value=\"" COLOR                         \
  "\" type=\"QString\"/>\n"                                                  \
  "      <Option name=\"line_width\" value=\"" WIDTH                         \
  "\" type=\"QString\"/>\n"                                                  \
  "      <Option name=\"line_width_unit\" value=\"MM\" type=\"QString\"/>\n" \
  "      <Option name=\"line_style\" value=\"solid\" type=\"QString\"/>\n"   \
  "      <Option name=\"capstyle\" value=\"round\" type=\"QString\"/>\n"     \
  "      <Option name=\"joinstyle\" value=\"round\" type=\"QString\"/>\n"    \
  "     </Option>\n"                                                         \
  "    </layer>\n"                                                           \
  "   </symbol>\n"

// Sections: red with problems, dark blue otherwise; labelled with name and
// chainage along the line.
constexpr std::string_view kSections =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.16\" styleCategories=\"Symbology|Labeling\">\n"
    " <renderer-v2 type=\"RuleRenderer\" symbollevels=\"0\" enableorderby=\"0\" "
    "forceraster=\"0\">\n"
    "  <rules key=\"{rules}\">\n"
    "   <rule key=\"{problems}\" symbol=\"0\" label=\"Sections with problems\" "
    "filter=\"&quot;problems&quot; IS NOT NULL AND &quot;problems&quot; &lt;&gt; ''\"/>\n"
    "   <rule key=\"{others}\" symbol=\"1\" label=\"Sections\" filter=\"ELSE\"/>\n"
    "  </rules>\n"
    "  <symbols>\n" PALVANE_LINE_SYMBOL("0", "227,26,28,255", "0.6")
        PALVANE_LINE_SYMBOL("1", "31,73,125,255", "0.4") "  </symbols>\n"
    " </renderer-v2>\n"
    " <labeling type=\"simple\">\n"
    "  <settings calloutType=\"simple\">\n"
    "   <text-style fieldName=\"coalesce(&quot;sect_name&quot;, &quot;sect_no&quot;) || "
    "' ' || format_number(&quot;chainage&quot;, 1)\" isExpression=\"1\" fontSize=\"8\" "
    "fontSizeUnit=\"Point\" textColor=\"0,0,0,255\" fontFamily=\"Sans Serif\" "
    "namedStyle=\"Regular\" textOpacity=\"1\"/>\n"
    "   <text-buffer bufferDraw=\"1\" bufferSize=\"0.8\" bufferSizeUnits=\"MM\" "
    "bufferColor=\"255,255,255,255\" bufferOpacity=\"1\"/>\n"
    "   <placement placement=\"2\" placementFlags=\"10\" dist=\"1\" distUnits=\"MM\" "
    "repeatDistance=\"0\" overrunDistance=\"0\"/>\n"
    "   <rendering obstacle=\"1\" displayAll=\"0\" labelPerPart=\"0\" "
    "mergeLines=\"0\" upsidedownLabels=\"0\" limitNumLabels=\"0\"/>\n"
    "  </settings>\n"
    " </labeling>\n"
    "</qgis>\n";

// Reaches: the current one heavier.
constexpr std::string_view kReaches =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.16\" styleCategories=\"Symbology|Labeling\">\n"
    " <renderer-v2 type=\"RuleRenderer\" symbollevels=\"0\" enableorderby=\"0\" "
    "forceraster=\"0\">\n"
    "  <rules key=\"{rules}\">\n"
    "   <rule key=\"{current}\" symbol=\"0\" label=\"Current reach\" "
    "filter=\"&quot;current&quot; = 1\"/>\n"
    "   <rule key=\"{others}\" symbol=\"1\" label=\"Reaches\" filter=\"ELSE\"/>\n"
    "  </rules>\n"
    "  <symbols>\n" PALVANE_LINE_SYMBOL("0", "0,112,192,255", "1.2")
        PALVANE_LINE_SYMBOL("1", "0,112,192,255", "0.5") "  </symbols>\n"
    " </renderer-v2>\n"
    "</qgis>\n";

// Findings of the check: by severity, errors red and heavy, warnings
// orange; labelled with their code.
constexpr std::string_view kFindings =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.16\" styleCategories=\"Symbology|Labeling\">\n"
    " <renderer-v2 type=\"RuleRenderer\" symbollevels=\"0\" enableorderby=\"0\" "
    "forceraster=\"0\">\n"
    "  <rules key=\"{rules}\">\n"
    "   <rule key=\"{errors}\" symbol=\"0\" label=\"Errors\" "
    "filter=\"&quot;severity&quot; = 'error'\"/>\n"
    "   <rule key=\"{warnings}\" symbol=\"1\" label=\"Warnings\" "
    "filter=\"&quot;severity&quot; = 'warning'\"/>\n"
    "   <rule key=\"{others}\" symbol=\"2\" label=\"Notes\" filter=\"ELSE\"/>\n"
    "  </rules>\n"
    "  <symbols>\n" PALVANE_LINE_SYMBOL("0", "227,26,28,255", "1.0")
        PALVANE_LINE_SYMBOL("1", "255,127,0,255", "0.8")
            PALVANE_LINE_SYMBOL("2", "128,128,128,255", "0.5") "  </symbols>\n"
    " </renderer-v2>\n"
    " <labeling type=\"simple\">\n"
    "  <settings calloutType=\"simple\">\n"
    "   <text-style fieldName=\"code\" isExpression=\"0\" fontSize=\"8\" "
    "fontSizeUnit=\"Point\" textColor=\"0,0,0,255\" fontFamily=\"Sans Serif\" "
    "namedStyle=\"Regular\" textOpacity=\"1\"/>\n"
    "   <text-buffer bufferDraw=\"1\" bufferSize=\"0.8\" bufferSizeUnits=\"MM\" "
    "bufferColor=\"255,255,255,255\" bufferOpacity=\"1\"/>\n"
    "   <placement placement=\"2\" placementFlags=\"10\" dist=\"1\" distUnits=\"MM\"/>\n"
    "  </settings>\n"
    " </labeling>\n"
    "</qgis>\n";

// Centre points: small dark circles.
constexpr std::string_view kCentrePoints =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.16\" styleCategories=\"Symbology|Labeling\">\n"
    " <renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
    "forceraster=\"0\">\n"
    "  <symbols>\n"
    "   <symbol type=\"marker\" name=\"0\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">\n"
    "    <layer class=\"SimpleMarker\" pass=\"0\" locked=\"0\" enabled=\"1\">\n"
    "     <Option type=\"Map\">\n"
    "      <Option name=\"name\" value=\"circle\" type=\"QString\"/>\n"
    "      <Option name=\"color\" value=\"31,73,125,255\" type=\"QString\"/>\n"
    "      <Option name=\"outline_style\" value=\"no\" type=\"QString\"/>\n"
    "      <Option name=\"size\" value=\"1.2\" type=\"QString\"/>\n"
    "      <Option name=\"size_unit\" value=\"MM\" type=\"QString\"/>\n"
    "     </Option>\n"
    "    </layer>\n"
    "   </symbol>\n"
    "  </symbols>\n"
    " </renderer-v2>\n"
    "</qgis>\n";

#undef PALVANE_LINE_SYMBOL

}  // namespace

std::string_view QgisStyleOf(std::string_view layer) {
  if (layer == "sections") return kSections;
  if (layer == "reaches") return kReaches;
  if (layer == "centre_points") return kCentrePoints;
  if (layer == "findings") return kFindings;
  return {};
}

}  // namespace palvane::tools
