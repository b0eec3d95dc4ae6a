"""The plugin: adds the provider to the Processing registry, in the desktop
and in qgis_process alike (which calls initProcessing only)."""

from qgis.core import QgsApplication

from .provider import PalvaneProvider


class PalvanePlugin:
    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802
        self.provider = PalvaneProvider()
        QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
