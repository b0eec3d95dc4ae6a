"""Palvane's Processing provider, headless: each algorithm run through
qgis_process.bin on the sample river and on generated rivers, and what it
wrote read back. Needs QGIS (qgis_process.bin) and Debian's python3 with
GDAL; run by ctest with PALVANE_COMMAND set to the palvane built."""

import json
import os
import sqlite3
import subprocess
import sys
import tempfile
import unittest

from osgeo import ogr

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(SOURCE, "examples", "river.dxf")
PALVANE = os.environ["PALVANE_COMMAND"]


class Qgis:
    """qgis_process.bin with the plugin folder, a scratch home and no display."""

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="palvane-qgis-")
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=self.home,
                        QGIS_PLUGINPATH=os.path.join(SOURCE, "qgis"),
                        XDG_RUNTIME_DIR=self.home)
        self.call(["plugins", "enable", "palvane_processing"])

    def call(self, arguments):
        return subprocess.run(["qgis_process.bin"] + arguments, env=self.env,
                              capture_output=True, text=True, timeout=300)

    def run(self, algorithm, **parameters):
        """The algorithm's results, or the failed process."""
        done = self.call(["--json", "run", "palvane:" + algorithm, "--"] +
                         ["{}={}".format(k, v) for k, v in parameters.items()])
        if done.returncode != 0:
            return None, done
        start = done.stdout.index("{")
        return json.loads(done.stdout[start:])["results"], done


QGIS = None


def setUpModule():  # noqa: N802
    global QGIS
    QGIS = Qgis()


def palvane(*arguments):
    return subprocess.run([PALVANE] + list(arguments), capture_output=True, text=True,
                          timeout=300)


def features(path, layer=None):
    source = ogr.Open(path)
    lyr = source.GetLayerByName(layer) if layer else source.GetLayer(0)
    out = []
    for f in lyr:
        row = {lyr.GetLayerDefn().GetFieldDefn(i).GetName(): f.GetField(i)
               for i in range(f.GetFieldCount())}
        geometry = f.GetGeometryRef()
        row["geometry"] = geometry.ExportToWkt() if geometry is not None else None
        out.append(row)
    return out


class ProviderTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="palvane-qgis-run-")

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_every_algorithm_is_listed(self):
        listed = QGIS.call(["list"]).stdout
        for name in ("check", "gis", "station", "keyplan", "tag_sections", "sections"):
            self.assertIn("palvane:" + name, listed)

    def test_check_puts_each_finding_on_its_section_line(self):
        faulty = self.path("faulty.dxf")
        made = palvane("generate", "--sections", "30", "--faults",
                       "chainage-mismatch,bearing-mismatch,no-survey", "-o", faulty)
        self.assertEqual(made.returncode, 0, made.stderr)
        results, done = QGIS.run("check", INPUT=faulty, OUTPUT=self.path("f.gpkg"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        expected = json.loads(palvane("check", faulty, "--json").stdout)
        found = features(results["OUTPUT"])
        self.assertEqual(results["FINDINGS"], len(expected))
        self.assertEqual([(f["code"], f["section"]) for f in found],
                         [(e["code"], e["section"] or "") for e in expected])
        for f in found:
            self.assertTrue(f["geometry"].startswith("LINESTRING"), f)
        self.assertIn("chainage-mismatch", {f["code"] for f in found})

    def test_check_and_tag_sections_run_on_the_sample_river(self):
        results, done = QGIS.run("check", INPUT=SAMPLE, OUTPUT=self.path("s.gpkg"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        found = features(results["OUTPUT"])
        self.assertEqual([(f["code"], f["section"]) for f in found], [("tag-restorable", "5")])
        results, done = QGIS.run("tag_sections", INPUT=SAMPLE, OUTPUT=self.path("retagged.dxf"),
                                 RETAG="true")
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertEqual(results["TAGGED"], 20)

    def test_check_gis_writes_the_findings_layer_styled(self):
        faulty = self.path("faulty.dxf")
        self.assertEqual(palvane("generate", "--sections", "30", "--faults",
                                 "chainage-mismatch,no-crossing", "-o", faulty).returncode, 0)
        out = self.path("findings.gpkg")
        done = palvane("check", faulty, "--gis", out, "--crs", "EPSG:27700", "--json")
        self.assertEqual(done.returncode, 1, done.stderr)
        expected = json.loads(done.stdout)
        found = features(out, "findings")
        self.assertEqual([(f["code"], f["section"]) for f in found],
                         [(e["code"], e["section"]) for e in expected])
        for f in found:
            self.assertTrue(f["geometry"].startswith("LINESTRING"), f)
        styles = {f["f_table_name"]: f["styleQML"] for f in features(out, "layer_styles")}
        self.assertIn("&quot;severity&quot; = 'error'", styles["findings"])
        # Asked again without --overwrite, the layer is kept and the check fails.
        self.assertEqual(palvane("check", faulty, "--gis", out).returncode, 2)

    def test_gis_writes_the_river_layers(self):
        results, done = QGIS.run("gis", INPUT=SAMPLE, CRS="EPSG:27700",
                                 OUTPUT=self.path("river.gpkg"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertEqual(results["SECTIONS"], 20)
        self.assertEqual(len(features(results["OUTPUT"], "sections")), 20)
        self.assertEqual(len(features(results["OUTPUT"], "reaches")), 2)

    def test_gis_layers_open_in_qgis_with_their_styles(self):
        """QGIS applies each layer's default style from the layer_styles table
        palvane gis writes: read back in a QGIS process of its own."""
        river = self.path("styled.gpkg")
        self.assertEqual(palvane("gis", SAMPLE, "-o", river).returncode, 0)
        script = """
import json, os, sys
os.environ["QT_QPA_PLATFORM"] = "offscreen"
from qgis.core import QgsApplication, QgsVectorLayer
QgsApplication.setPrefixPath("/usr", True)
app = QgsApplication([], False)
app.initQgis()
out = {}
for name in ("reaches", "sections", "centre_points"):
    layer = QgsVectorLayer(sys.argv[1] + "|layername=" + name, name, "ogr")
    renderer = layer.renderer()
    rules = ([r.filterExpression() for r in renderer.rootRule().children()]
             if renderer.type() == "RuleRenderer" else [])
    label = ""
    if layer.labelsEnabled():
        labeling = layer.labeling()
        settings = labeling.settings()
        label = settings.fieldName
    out[name] = {"renderer": renderer.type(), "rules": rules, "label": label}
print(json.dumps(out), flush=True)
os._exit(0)
"""
        done = subprocess.run(["/usr/bin/python3", "-c", script, river], env=QGIS.env,
                              capture_output=True, text=True, timeout=300)
        self.assertEqual(done.returncode, 0, done.stderr)
        styles = json.loads(done.stdout.strip().splitlines()[-1])
        self.assertEqual(styles["sections"]["renderer"], "RuleRenderer")
        self.assertIn("problems", styles["sections"]["rules"][0])
        self.assertIn("sect_name", styles["sections"]["label"])
        self.assertIn("chainage", styles["sections"]["label"])
        self.assertEqual(styles["reaches"]["rules"][0], '"current" = 1')
        self.assertEqual(styles["centre_points"]["renderer"], "singleSymbol")

    def test_station_gives_what_the_command_gives(self):
        points = self.path("points.geojson")
        with open(points, "w") as f:
            json.dump({"type": "FeatureCollection", "features": [
                {"type": "Feature", "properties": {"name": n},
                 "geometry": {"type": "Point", "coordinates": xy}}
                for n, xy in (("a", [312400, 744900]), ("b", [312100, 745000]))]}, f)
        results, done = QGIS.run("station", INPUT=SAMPLE, POINTS=points,
                                 OUTPUT=self.path("stations.gpkg"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        expected = json.loads(palvane("station", SAMPLE, "--point", "312400,744900",
                                      "--point", "312100,745000", "--json").stdout)
        got = features(results["OUTPUT"])
        self.assertEqual([g["name"] for g in got], ["a", "b"])
        for g, e in zip(got, expected):
            self.assertAlmostEqual(g["chainage"], e["chainage"], places=9)
            self.assertAlmostEqual(g["offset"], e["offset"], places=9)
            self.assertAlmostEqual(g["bearing_deg"], e["bearing_deg"], places=9)

    def test_station_keeps_points_beyond_the_reach_and_refuses_a_clash(self):
        points = self.path("beyond.geojson")
        with open(points, "w") as f:
            json.dump({"type": "FeatureCollection", "features": [
                {"type": "Feature", "properties": {"name": "far"},
                 "geometry": {"type": "Point", "coordinates": [310000, 744900]}}]}, f)
        results, done = QGIS.run("station", INPUT=SAMPLE, POINTS=points,
                                 OUTPUT=self.path("beyond.gpkg"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        got = features(results["OUTPUT"])
        self.assertEqual(len(got), 1)
        self.assertEqual(got[0]["beyond"], "start")
        self.assertGreater(got[0]["beyond_by"], 0)
        clash = self.path("clash.geojson")
        with open(clash, "w") as f:
            json.dump({"type": "FeatureCollection", "features": [
                {"type": "Feature", "properties": {"chainage": 7},
                 "geometry": {"type": "Point", "coordinates": [312400, 744900]}}]}, f)
        results, done = QGIS.run("station", INPUT=SAMPLE, POINTS=clash,
                                 OUTPUT=self.path("clash.gpkg"))
        self.assertIsNone(results)
        self.assertIn("a field chainage already", done.stdout + done.stderr)

    def test_outputs_of_one_file_per_layer_and_a_chosen_format(self):
        results, done = QGIS.run("gis", INPUT=SAMPLE, OUTPUT=self.path("river.shp"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertTrue(os.path.exists(results["OUTPUT"]), results["OUTPUT"])
        self.assertTrue(results["OUTPUT"].endswith("river_reaches.shp"))
        results, done = QGIS.run("sections", INPUT=SAMPLE, FORMAT=4,
                                 OUTPUT=self.path("table.RASImport.sdf"))
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertTrue(results["OUTPUT"].endswith(".csv"), results["OUTPUT"])
        with open(results["OUTPUT"], newline="") as f:
            self.assertTrue(f.readline().startswith("reach,section,name"))

    def test_keyplan_writes_a_drawing_with_its_labels(self):
        out = self.path("keyplan.dxf")
        results, done = QGIS.run("keyplan", INPUT=SAMPLE, OUTPUT=out, FIELDS="name",
                                 NAME_PREFIX="Section ")
        self.assertIsNotNone(results, done.stderr + done.stdout)
        with open(out, encoding="utf-8", errors="replace") as f:
            self.assertIn("Section XS12", f.read())

    def test_progress_reaches_the_feedback_as_progress(self):
        """The command's phases show as the feedback's progress text; its
        progress lines never show as messages."""
        done = QGIS.call(["run", "palvane:keyplan", "--", "INPUT=" + SAMPLE,
                          "OUTPUT=" + self.path("k.dxf")])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("exporting the keyplan", done.stdout)
        self.assertNotIn("palvane-progress", done.stdout + done.stderr)

    def test_tag_sections_tags_an_untagged_river(self):
        bare, reach = self.path("bare.dxf"), self.path("reach.dxf")
        self.assertEqual(palvane("generate", "--sections", "12", "--untagged", "-o",
                                 bare).returncode, 0)
        self.assertEqual(palvane("tag", "reach", bare, "--polyline", "31", "--number", "1",
                                 "--current", "-o", reach).returncode, 0)
        results, done = QGIS.run("tag_sections", INPUT=reach, OUTPUT=self.path("tagged.dxf"),
                                 SECTION_NAME="XS{n}")
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertEqual(results["TAGGED"], 12)
        listed = json.loads(palvane("check", results["OUTPUT"], "--json").stdout)
        self.assertEqual([f for f in listed if f["severity"] == "error"], [])

    def test_sections_writes_a_model_file(self):
        out = self.path("river.RASImport.sdf")
        results, done = QGIS.run("sections", INPUT=SAMPLE, OUTPUT=out, BANK_LINES="Bank_Lines",
                                 RIVER="Sample")
        self.assertIsNotNone(results, done.stderr + done.stdout)
        self.assertEqual(results["SECTIONS"], 20)
        with open(out, newline="") as f:
            text = f.read()
        self.assertEqual(text.count("CROSS-SECTION:"), 20)
        self.assertIn("STREAM ID: Sample", text)

    def test_a_failing_command_fails_the_algorithm_with_its_message(self):
        results, done = QGIS.run("sections", INPUT=SAMPLE, OUTPUT=self.path("x.sdf"),
                                 BANK_LINES="Nowhere")
        self.assertIsNone(results)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("no polyline on the layer", done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
