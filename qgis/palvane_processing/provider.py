"""The provider: id "palvane", one algorithm per command, and the setting
that says where the palvane command is."""

from qgis.core import QgsProcessingProvider

from . import algorithms
from .command import COMMAND_SETTING


class PalvaneProvider(QgsProcessingProvider):
    def id(self):
        return "palvane"

    def name(self):
        return "Palvane"

    def longName(self):  # noqa: N802
        return "Palvane: surveyed rivers in CAD drawings"

    def load(self):
        try:
            from processing.core.ProcessingConfig import ProcessingConfig, Setting

            ProcessingConfig.settingIcons[self.name()] = self.icon()
            ProcessingConfig.addSetting(
                Setting(self.name(), COMMAND_SETTING,
                        "The palvane command (empty: palvane on PATH)", "",
                        valuetype=Setting.FILE))
            ProcessingConfig.readSettings()
        except ImportError:  # Processing's Python side is not there
            pass
        self.refreshAlgorithms()
        return True

    def unload(self):
        try:
            from processing.core.ProcessingConfig import ProcessingConfig

            ProcessingConfig.removeSetting(COMMAND_SETTING)
        except ImportError:
            pass

    def loadAlgorithms(self):  # noqa: N802
        for algorithm in algorithms.ALL:
            self.addAlgorithm(algorithm())
