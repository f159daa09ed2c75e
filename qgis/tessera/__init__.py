"""Tessera's commands as a QGIS Processing provider."""


def classFactory(iface):  # noqa: N802 (QGIS's name)
    from .plugin import TesseraPlugin

    return TesseraPlugin(iface)
