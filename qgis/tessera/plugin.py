"""The plugin object QGIS loads: it only registers the Processing provider."""

from qgis.core import QgsApplication

from .provider import TesseraProvider


class TesseraPlugin:
    def __init__(self, iface=None):
        self.iface = iface
        self.provider = None

    # qgis_process calls initProcessing alone; the desktop calls initGui.
    def initProcessing(self):  # noqa: N802
        if self.provider is None:
            self.provider = TesseraProvider()
            QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
