#!/usr/bin/env python3
"""Renders the sample river's GIS layers as QGIS shows them on opening
(their styles from the GeoPackage), headless, into a PNG for the README:
    palvane gis examples/river.dxf -o /tmp/river.gpkg --crs EPSG:27700
    QT_QPA_PLATFORM=offscreen /usr/bin/python3 scripts/qgis-screenshot.py /tmp/river.gpkg docs/qgis.png
"""
import os
import sys

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

from qgis.core import (QgsApplication, QgsMapRendererParallelJob, QgsMapSettings,  # noqa: E402
                       QgsRectangle, QgsVectorLayer)
from qgis.PyQt.QtCore import QSize  # noqa: E402
from qgis.PyQt.QtGui import QColor  # noqa: E402


def main(gpkg, png):
    QgsApplication.setPrefixPath("/usr", True)
    app = QgsApplication([], False)
    app.initQgis()
    layers = [QgsVectorLayer("{}|layername={}".format(gpkg, name), name, "ogr")
              for name in ("centre_points", "sections", "reaches")]
    for layer in layers:
        if not layer.isValid():
            sys.exit("cannot open " + layer.name())
    extent = QgsRectangle(layers[1].extent())
    extent.combineExtentWith(layers[2].extent())
    extent.scale(1.05)
    settings = QgsMapSettings()
    settings.setLayers(layers)
    settings.setDestinationCrs(layers[1].crs())
    settings.setBackgroundColor(QColor(255, 255, 255))
    settings.setOutputSize(QSize(1400, 700))
    settings.setExtent(extent)
    job = QgsMapRendererParallelJob(settings)
    job.start()
    job.waitForFinished()
    image = job.renderedImage()
    partial = png + ".partial.png"
    if not image.save(partial, "png"):
        sys.exit("cannot write " + png)
    os.replace(partial, png)
    os._exit(0)  # QGIS's own teardown can crash headless; the image is saved


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
