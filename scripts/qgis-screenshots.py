#!/usr/bin/python3
"""The picture of docs/qgis.md, taken offscreen: a classified output drawn by
QGIS with the provider's class style. Usage: qgis-screenshots.py TESSERA OUT_DIR."""

import os
import subprocess
import sys
import tempfile

tessera, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
# Qt 5's offscreen platform reads its fonts from one folder, not through fontconfig.
os.environ.setdefault("QT_QPA_FONTDIR", "/usr/share/fonts/truetype/dejavu")
os.environ["TESSERA_BINARY"] = tessera
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "qgis"))

from qgis.core import QgsApplication, QgsMapRendererParallelJob, QgsMapSettings, QgsRasterLayer  # noqa: E402
from qgis.PyQt.QtCore import QSize  # noqa: E402
from qgis.PyQt.QtGui import QColor, QFont  # noqa: E402

app = QgsApplication([], True)
app.initQgis()
app.setFont(QFont("DejaVu Sans", 10))  # offscreen, QGIS picks no usable default
from tessera.style import apply_class_style  # noqa: E402

work = tempfile.mkdtemp()
subprocess.run([tessera, "synth", work, "--size", "600", "--classes", "6", "--seed", "2"], check=True,
               capture_output=True)
subprocess.run([tessera, "kmeans", os.path.join(work, "scene.tif"), os.path.join(work, "k.tif"), "--classes", "6",
                "--quiet"], check=True, capture_output=True)
layer = QgsRasterLayer(os.path.join(work, "k.tif"), "K-Means")
apply_class_style(layer)
settings = QgsMapSettings()
settings.setLayers([layer])
settings.setExtent(layer.extent())
settings.setOutputSize(QSize(600, 600))
settings.setBackgroundColor(QColor("white"))
job = QgsMapRendererParallelJob(settings)
job.start()
job.waitForFinished()
job.renderedImage().save(os.path.join(out, "qgis-map.png"))
print("wrote", os.path.join(out, "qgis-map.png"))
os._exit(0)
