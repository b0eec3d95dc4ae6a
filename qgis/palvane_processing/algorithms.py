"""One Processing algorithm per palvane command. Each drawing is the
parameter INPUT and the main output OUTPUT, as QGIS's own algorithms name
them; each runs the command (command.py) and reads its --json output or the
files it wrote."""

import os

from qgis.core import (
    QgsFeature,
    QgsFeatureSink,
    QgsField,
    QgsFields,
    QgsGeometry,
    QgsPointXY,
    QgsProcessing,
    QgsProcessingAlgorithm,
    QgsProcessingContext,
    QgsProcessingException,
    QgsProcessingLayerPostProcessorInterface,
    QgsProcessingOutputBoolean,
    QgsProcessingOutputNumber,
    QgsProcessingParameterBoolean,
    QgsProcessingParameterCrs,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFeatureSink,
    QgsProcessingParameterFeatureSource,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterString,
    QgsProcessingUtils,
    QgsVectorLayer,
    QgsWkbTypes,
)
from qgis.PyQt.QtCore import QVariant
from qgis.PyQt.QtXml import QDomDocument

from .command import run, run_json


class PalvaneAlgorithm(QgsProcessingAlgorithm):
    """What every algorithm shares: the group, the drawing parameter, and
    options passed on only when given."""

    NAME = ""
    DISPLAY = ""
    HELP = ""

    def name(self):
        return self.NAME

    def displayName(self):  # noqa: N802
        return self.DISPLAY

    def group(self):
        return "Surveyed rivers"

    def groupId(self):  # noqa: N802
        return "rivers"

    def shortHelpString(self):  # noqa: N802
        return self.HELP

    def createInstance(self):  # noqa: N802
        return type(self)()

    def add_drawing(self):
        self.addParameter(QgsProcessingParameterFile(
            "INPUT", "Drawing (DXF)", extension="dxf"))

    @staticmethod
    def option(arguments, flag, value):
        if value not in (None, ""):
            arguments += [flag, value]

    def crs_option(self, parameters, context, arguments):
        crs = self.parameterAsCrs(parameters, "CRS", context)
        if crs.isValid():
            # GDAL knows the authorities' codes; a user's own CRS goes as WKT.
            authid = crs.authid()
            known = authid.split(":")[0] in ("EPSG", "ESRI", "IGNF")
            arguments += ["--crs", authid if known else crs.toWkt()]
        return crs

    def add_feature(self, sink, feature, parameters):
        if not sink.addFeature(feature, QgsFeatureSink.FastInsert):
            raise QgsProcessingException(self.writeFeatureError(sink, parameters, "OUTPUT"))


class Styled(QgsProcessingLayerPostProcessorInterface):
    """Gives a layer loaded on completion its style: the default style its
    GeoPackage carries, or the QML given. Processing calls it after the
    algorithm object is gone and keeps no reference of its own: the class
    keeps each one made."""

    kept = []

    def __init__(self, qml=None):
        super().__init__()
        self.qml = qml

    @classmethod
    def make(cls, qml=None):
        styled = cls(qml)
        cls.kept.append(styled)
        return styled

    def postProcessLayer(self, layer, context, feedback):  # noqa: N802
        if self.qml:
            document = QDomDocument()
            if document.setContent(self.qml):
                layer.importNamedStyle(document)
        else:
            layer.loadDefaultStyle()
        layer.triggerRepaint()


# ---------------------------------------------------------------------------

class CheckAlgorithm(PalvaneAlgorithm):
    NAME = "check"
    DISPLAY = "Check a survey drawing"
    HELP = ("Checks the reaches and sections of a surveyed river drawing before modelling. "
            "The findings come out as a layer, each on its section's line (a finding of "
            "the drawing or a reach has no geometry); the conventions the check inferred "
            "are in the log.")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterNumber(
            "CHAINAGE_TOLERANCE", "Chainage tolerance", QgsProcessingParameterNumber.Double,
            0.5, minValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "BEARING_TOLERANCE", "Bearing tolerance (degrees)",
            QgsProcessingParameterNumber.Double, 1.0, minValue=0, maxValue=180))
        self.addParameter(QgsProcessingParameterString(
            "BANK_LINES", "Layers of the bank lines (A,B for two)", optional=True))
        self.addParameter(QgsProcessingParameterCrs(
            "CRS", "The drawing's coordinate reference system", optional=True))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "OUTPUT", "Findings", QgsProcessing.TypeVectorLine))
        self.addOutput(QgsProcessingOutputNumber("FINDINGS", "Findings"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        # The findings layer as palvane check --gis writes it, then copied
        # into the algorithm's output.
        layer_file = QgsProcessingUtils.generateTempFilename("palvane_findings.gpkg")
        arguments = ["check", drawing, "--gis", layer_file, "--overwrite",
                     "--chainage-tolerance",
                     self.parameterAsDouble(parameters, "CHAINAGE_TOLERANCE", context),
                     "--bearing-tolerance",
                     self.parameterAsDouble(parameters, "BEARING_TOLERANCE", context)]
        self.option(arguments, "--bank-lines",
                    self.parameterAsString(parameters, "BANK_LINES", context))
        crs = self.crs_option(parameters, context, arguments)
        findings = run_json(arguments, feedback, accept=(0, 1)).value or []
        layer = QgsVectorLayer(layer_file + "|layername=findings", "findings", "ogr")
        if not layer.isValid():
            raise QgsProcessingException("the findings written to {} cannot be read"
                                         .format(layer_file))
        sink, dest = self.parameterAsSink(parameters, "OUTPUT", context, layer.fields(),
                                          QgsWkbTypes.LineString,
                                          crs if crs.isValid() else layer.crs())
        for feature in layer.getFeatures():
            self.add_feature(sink, feature, parameters)
        # The output styled by severity, as the GeoPackage written holds it.
        styles = QgsVectorLayer(layer_file + "|layername=layer_styles", "styles", "ogr")
        qml = next((f["styleQML"] for f in styles.getFeatures()
                    if f["f_table_name"] == "findings"), None) if styles.isValid() else None
        if qml and context.willLoadLayerOnCompletion(dest):
            context.layerToLoadOnCompletionDetails(dest).setPostProcessor(Styled.make(qml))
        return {"OUTPUT": dest, "FINDINGS": len(findings)}


class GisAlgorithm(PalvaneAlgorithm):
    NAME = "gis"
    DISPLAY = "Export the river to GIS"
    HELP = ("Writes the reaches, sections and centre points of a drawing as layers of a "
            "GeoPackage (or any format palvane gis writes) and loads them.")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterCrs(
            "CRS", "The drawing's coordinate reference system", optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "ARC_TOLERANCE", "Largest distance of a chord from its arc",
            QgsProcessingParameterNumber.Double, 0.01, minValue=0.000001))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", "River layers", "GeoPackage (*.gpkg)"))
        self.addOutput(QgsProcessingOutputNumber("REACHES", "Reaches"))
        self.addOutput(QgsProcessingOutputNumber("SECTIONS", "Sections"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        out = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        arguments = ["gis", drawing, "-o", out, "--overwrite", "--arc-tolerance",
                     self.parameterAsDouble(parameters, "ARC_TOLERANCE", context)]
        self.crs_option(parameters, context, arguments)
        counts = run_json(arguments, feedback).value or {}
        layers = ("reaches", "sections", "centre_points")
        extension = os.path.splitext(out)[1].lower()
        # Formats of one layer per file write OUT_reaches.shp and so on, each
        # with the files that go with it.
        stem = os.path.splitext(out)[0]
        files = [f for f in counts.get("files") or [out]
                 if os.path.splitext(f)[1].lower() == extension]
        if len(files) > 1:
            files = [stem + "_" + layer + os.path.splitext(out)[1] for layer in layers
                     if stem + "_" + layer + os.path.splitext(out)[1] in files]
        if extension == ".gpkg":
            sources = [("{}|layername={}".format(out, layer), layer) for layer in layers]
        else:
            sources = [(path, os.path.splitext(os.path.basename(path))[0]) for path in files]
        for source, name in sources:
            details = QgsProcessingContext.LayerDetails(name, context.project(), name)
            details.setPostProcessor(Styled.make())
            context.addLayerToLoadOnCompletion(source, details)
        return {"OUTPUT": files[0], "REACHES": counts.get("reaches"),
                "SECTIONS": counts.get("sections")}


class StationAlgorithm(PalvaneAlgorithm):
    NAME = "station"
    DISPLAY = "Station points along the reach"
    HELP = ("For each point of a layer, its chainage along the current reach's centre line "
            "(or a polyline given by handle), its offset (positive to the left) and the "
            "line's bearing there, as palvane station gives them.")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterFeatureSource(
            "POINTS", "Points", [QgsProcessing.TypeVectorPoint]))
        self.addParameter(QgsProcessingParameterString(
            "POLYLINE", "Handle of the polyline (default: the current reach)", optional=True))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "OUTPUT", "Stationed points", QgsProcessing.TypeVectorPoint))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        source = self.parameterAsSource(parameters, "POINTS", context)
        features = [f for f in source.getFeatures() if f.hasGeometry()]
        fields = QgsFields(source.fields())
        added = [("chainage", QVariant.Double), ("offset", QVariant.Double),
                 ("bearing_deg", QVariant.Double), ("beyond", QVariant.String),
                 ("beyond_by", QVariant.Double)]
        for name, kind in added:
            if fields.indexOf(name) >= 0:
                raise QgsProcessingException(
                    "the points have a field {} already: the stations would take its place; "
                    "rename it first".format(name))
            fields.append(QgsField(name, kind))
        sink, dest = self.parameterAsSink(parameters, "OUTPUT", context, fields,
                                          QgsWkbTypes.Point, source.sourceCrs())
        if features:
            arguments = ["station", drawing]
            for f in features:
                geometry = f.geometry()
                if geometry.isMultipart():
                    parts = geometry.asMultiPoint()
                    if len(parts) != 1:
                        raise QgsProcessingException(
                            "feature {} holds {} points: give a layer of single points"
                            .format(f.id(), len(parts)))
                    p = parts[0]
                else:
                    p = geometry.asPoint()
                arguments += ["--point", "{!r},{!r}".format(p.x(), p.y())]
            self.option(arguments, "--polyline",
                        self.parameterAsString(parameters, "POLYLINE", context))
            stations = run_json(arguments, feedback).value or []
            if len(stations) != len(features):
                raise QgsProcessingException("palvane gave {} stations for {} points"
                                             .format(len(stations), len(features)))
            for f, s in zip(features, stations):
                out = QgsFeature(fields)
                out.setGeometry(QgsGeometry.fromPointXY(QgsPointXY(*s["point"])))
                out.setAttributes(list(f.attributes()) +
                                  [s["chainage"], s["offset"], s["bearing_deg"], s["beyond"],
                                   s["beyond_by"]])
                self.add_feature(sink, out, parameters)
        return {"OUTPUT": dest}


class KeyplanAlgorithm(PalvaneAlgorithm):
    NAME = "keyplan"
    DISPLAY = "Keyplan"
    HELP = ("Writes the current reach's keyplan to a new drawing: one labelled line per "
            "section, or one attribute block per section.")

    AFFIXES = ("name", "en", "bearing", "chainage", "mike11", "description")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterBoolean(
            "ATTRIBUTES", "One attribute block per section instead of labels", False))
        self.addParameter(QgsProcessingParameterString(
            "FIELDS", "Label fields (name, en, bearing, chainage, mike11, description)",
            "name,chainage"))
        for field in self.AFFIXES:
            for end in ("prefix", "suffix"):
                self.addParameter(QgsProcessingParameterString(
                    "{}_{}".format(field, end).upper(), "{} {}".format(field, end),
                    optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "TEXT_HEIGHT", "Label height", QgsProcessingParameterNumber.Double, 2.5,
            minValue=0.000001))
        self.addParameter(QgsProcessingParameterString(
            "LINE_LAYER", "Layer name prefix of the section lines", "XS_"))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", "Keyplan drawing", "DXF (*.dxf)"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        out = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        arguments = ["keyplan", drawing, "-o", out, "--overwrite",
                     "--fields", self.parameterAsString(parameters, "FIELDS", context),
                     "--text-height",
                     repr(self.parameterAsDouble(parameters, "TEXT_HEIGHT", context)),
                     "--line-layer", self.parameterAsString(parameters, "LINE_LAYER", context)]
        if self.parameterAsBool(parameters, "ATTRIBUTES", context):
            arguments.append("--attributes")
        for field in self.AFFIXES:
            for end in ("prefix", "suffix"):
                self.option(arguments, "--{}-{}".format(field, end), self.parameterAsString(
                    parameters, "{}_{}".format(field, end).upper(), context))
        run(arguments, feedback)
        return {"OUTPUT": out}


class TagSectionsAlgorithm(PalvaneAlgorithm):
    NAME = "tag_sections"
    DISPLAY = "Tag sections"
    HELP = ("Tags a reach's sections from their geometry (chainage along the centre line, "
            "bearing of the line) and writes the tagged drawing; with a layer of lines, "
            "those that cross the centre line become sections.")

    CHAINAGE_FROM = ("start", "end", "auto")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterString(
            "REACH", "Reach number (default: the current reach)", optional=True))
        self.addParameter(QgsProcessingParameterString(
            "FROM_LAYER", "Layer whose lines become sections", optional=True))
        self.addParameter(QgsProcessingParameterEnum(
            "CHAINAGE_FROM", "Chainage from the centre line's", list(self.CHAINAGE_FROM),
            defaultValue=0))
        self.addParameter(QgsProcessingParameterString(
            "SECTION_NAME", "Section name ({n} stands for the number)", optional=True))
        self.addParameter(QgsProcessingParameterBoolean(
            "RETAG", "Measure tagged sections anew", False))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", "Tagged drawing", "DXF (*.dxf)"))
        self.addOutput(QgsProcessingOutputNumber("TAGGED", "Sections tagged"))
        self.addOutput(QgsProcessingOutputBoolean("ALL_TAGGED", "Every section tagged"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        out = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        arguments = ["tag", "sections", drawing, "-o", out, "--overwrite", "--chainage-from",
                     self.CHAINAGE_FROM[self.parameterAsEnum(parameters, "CHAINAGE_FROM",
                                                             context)]]
        self.option(arguments, "--reach", self.parameterAsString(parameters, "REACH", context))
        self.option(arguments, "--from-layer",
                    self.parameterAsString(parameters, "FROM_LAYER", context))
        self.option(arguments, "--section-name",
                    self.parameterAsString(parameters, "SECTION_NAME", context))
        if self.parameterAsBool(parameters, "RETAG", context):
            arguments.append("--retag")
        # Exit 1: some sections could not be tagged; the others were.
        result = run_json(arguments, feedback, accept=(0, 1))
        sections = result.value or []
        tagged = sum(1 for s in sections if s.get("outcome") in ("tagged", "retagged"))
        if not os.path.exists(out):
            raise QgsProcessingException("palvane wrote no drawing: " + result.message)
        return {"OUTPUT": out, "TAGGED": tagged, "ALL_TAGGED": result.status == 0}


class SectionsAlgorithm(PalvaneAlgorithm):
    NAME = "sections"
    DISPLAY = "Cross-sections for a model"
    HELP = ("Writes each section's survey as a hydraulic model's cross-sections: HEC-RAS's "
            "GIS import file, a Flood Modeller DAT, MIKE 11 raw data or CSV.")

    FORMATS = ("from the file name", "hecras", "floodmodeller", "mike11", "csv")
    EXTENSIONS = ("", ".RASImport.sdf", ".dat", ".txt", ".csv")
    FLOWS = ("auto", "against-chainage", "with-chainage")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.add_drawing()
        self.addParameter(QgsProcessingParameterEnum(
            "FORMAT", "Format", list(self.FORMATS), defaultValue=0))
        self.addParameter(QgsProcessingParameterString(
            "BANK_LINES", "Layers of the bank lines (A,B for two)", optional=True))
        self.addParameter(QgsProcessingParameterEnum(
            "FLOW", "The river flows (auto: the way its bed falls)", list(self.FLOWS),
            defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "MANNING", "Manning's n", QgsProcessingParameterNumber.Double, 0.035,
            minValue=0.000001))
        self.addParameter(QgsProcessingParameterString(
            "RIVER", "River name (default: the drawing's)", optional=True))
        self.addParameter(QgsProcessingParameterBoolean(
            "ORIGINAL_DATA", "The survey as taken, not as processed", False))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", "Cross-sections",
            "HEC-RAS (*.RASImport.sdf);;Flood Modeller (*.dat);;MIKE 11 (*.txt);;CSV (*.csv)"))
        self.addOutput(QgsProcessingOutputNumber("SECTIONS", "Sections"))
        self.addOutput(QgsProcessingOutputNumber("POINTS", "Points"))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        drawing = self.parameterAsFile(parameters, "INPUT", context)
        out = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        arguments = ["sections", drawing, "-o", out, "--overwrite", "--flow",
                     self.FLOWS[self.parameterAsEnum(parameters, "FLOW", context)],
                     "--manning", repr(self.parameterAsDouble(parameters, "MANNING", context))]
        chosen = self.parameterAsEnum(parameters, "FORMAT", context)
        if chosen > 0:
            arguments += ["-f", self.FORMATS[chosen]]
            # The file's name says the format too (a temporary output's is .sdf).
            extension = self.EXTENSIONS[chosen]
            if not out.lower().endswith(extension.lower()):
                out = os.path.splitext(out)[0] + extension
                arguments[3] = out
        self.option(arguments, "--bank-lines",
                    self.parameterAsString(parameters, "BANK_LINES", context))
        self.option(arguments, "--river", self.parameterAsString(parameters, "RIVER", context))
        if self.parameterAsBool(parameters, "ORIGINAL_DATA", context):
            arguments.append("--original-data")
        # Exit 1 with a file: sections left out (the log says which).
        result = run_json(arguments, feedback, accept=(0, 1))
        counts = result.value
        if not os.path.exists(out) or counts is None:
            raise QgsProcessingException("palvane wrote no cross-sections: " + result.message)
        return {"OUTPUT": out, "SECTIONS": counts.get("sections"),
                "POINTS": counts.get("points")}


ALL = (CheckAlgorithm, GisAlgorithm, StationAlgorithm, KeyplanAlgorithm, TagSectionsAlgorithm,
       SectionsAlgorithm)
