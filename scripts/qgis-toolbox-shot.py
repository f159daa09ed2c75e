"""Run inside the QGIS desktop (qgis --code, under xvfb-run: see
scripts/qgis-screenshots.sh): saves the Processing toolbox, filtered to
Tessera, as $TESSERA_SHOT and quits."""

import os

from qgis.PyQt.QtCore import QTimer
from qgis.PyQt.QtWidgets import QApplication
from qgis.utils import plugins


def shoot():
    toolbox = plugins["processing"].toolbox
    toolbox.setFloating(True)  # docked, it keeps the main window's narrow column
    toolbox.show()
    toolbox.searchBox.setText("tessera")
    toolbox.resize(440, 560)
    QApplication.processEvents()
    toolbox.algorithmTree.expandAll()
    QApplication.processEvents()
    toolbox.grab().save(os.environ["TESSERA_SHOT"])
    os._exit(0)


QTimer.singleShot(4000, shoot)  # once the plugins have loaded their providers
