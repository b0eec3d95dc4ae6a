"""Palvane's Processing provider for QGIS."""


def classFactory(iface):  # noqa: N802 (the name QGIS calls)
    from .plugin import PalvanePlugin

    return PalvanePlugin(iface)
