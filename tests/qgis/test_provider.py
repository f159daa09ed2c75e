#!/usr/bin/python3
"""The Tessera Processing provider run by qgis_process, headless, against the
same commands run directly: identical pixels and class names. Then, in one
QGIS process, a cancelled run and the class styling of a loaded output.

Usage: test_provider.py TESSERA_BINARY SCRATCH_DIR"""

import os
import shutil
import subprocess
import sys

from osgeo import gdal

here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(os.path.dirname(here))
tessera, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
home = os.path.join(scratch, "home")
env = dict(os.environ, HOME=home, QT_QPA_PLATFORM="offscreen", TESSERA_BINARY=tessera,
           XDG_RUNTIME_DIR=os.path.join(scratch, "runtime"))
os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
profile = os.path.join(home, ".local/share/QGIS/QGIS3/profiles/default")
subprocess.run([os.path.join(source, "scripts/install-qgis-plugin.sh"), profile], check=True, env=env)
# Debian's qgis_process wrapper passes an option the 3.22 binary refuses; call the binary.
qgis_process = shutil.which("qgis_process.bin") or "qgis_process"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def path(name):
    return os.path.join(scratch, name)


def run_tessera(*args):
    subprocess.run([tessera, *args], check=True, env=env, capture_output=True)


def run_qgis(algorithm, **parameters):
    argv = [qgis_process, "run", "tessera:" + algorithm, "--"] + ["%s=%s" % kv for kv in parameters.items()]
    result = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        print(result.stdout[-2000:], result.stderr[-2000:])
    return result.returncode


def classes(image):
    """Pixels and class names (value and name columns of its attribute table) of a classified image."""
    ds = gdal.Open(image)
    band = ds.GetRasterBand(1)
    rat = band.GetDefaultRAT()
    names = {rat.GetValueAsInt(r, 0): rat.GetValueAsString(r, 1) for r in range(rat.GetRowCount())} if rat else {}
    return band.ReadRaster(), names


# A scene and its training polygons.
run_tessera("synth", path("scene"), "--size", "300", "--classes", "4", "--seed", "3")
scene, training, truth = path("scene/scene.tif"), path("scene/training.shp"), path("scene/truth.tif")

listing = subprocess.run([qgis_process, "list"], env=env, capture_output=True, text=True).stdout
for name in ("kmeans", "classify_maxlik", "samples", "accuracy", "sieve", "stats", "polygonize"):
    check("tessera:" + name in listing, "qgis_process lists tessera:" + name)

# K-Means.
run_tessera("kmeans", scene, path("k.tif"), "--classes", "4", "--seed", "5")
code = run_qgis("kmeans", IN=scene, OUT=path("qk.tif"), CLASSES=4, SEED=5)
check(code == 0 and classes(path("qk.tif")) == classes(path("k.tif")) and len(classes(path("k.tif"))[1]) >= 4,
      "K-Means: same pixels and class names")

# Samples, then maximum likelihood with them.
run_tessera("samples", scene, training, path("s.cif"), "--class-field", "class")
code = run_qgis("samples", IN=scene, POLYGONS=training, OUT=path("qs.cif"), CLASS_FIELD="class")
check(code == 0 and open(path("qs.cif"), "rb").read() == open(path("s.cif"), "rb").read(),
      "samples: the same sample file")
run_tessera("classify", scene, path("s.cif"), path("m.tif"), "--method", "maxlik")
code = run_qgis("classify_maxlik", IN=scene, SAMPLES=path("s.cif"), OUT=path("qm.tif"))
check(code == 0 and classes(path("qm.tif")) == classes(path("m.tif")), "maximum likelihood: same pixels and names")

# The sieve of the K-Means map.
run_tessera("sieve", path("k.tif"), path("f.tif"), "--classes", "1,2,3,4", "--threshold", "20")
code = run_qgis("sieve", IN=path("k.tif"), OUT=path("qf.tif"), CLASSES="1,2,3,4", THRESHOLD=20)
check(code == 0 and classes(path("qf.tif")) == classes(path("f.tif")), "sieve: same pixels and names")

# Accuracy of the maximum likelihood map against the truth.
run_tessera("accuracy", path("m.tif"), "--reference", truth, "--report", path("r.txt"))
code = run_qgis("accuracy", CLASSIFIED=path("m.tif"), REFERENCE=truth, REPORT=path("qr.txt"))
check(code == 0 and open(path("qr.txt"), "rb").read() == open(path("r.txt"), "rb").read(),
      "accuracy: the same report")

# A refused run is a Processing error with tessera's own message.
result = subprocess.run([qgis_process, "run", "tessera:sieve", "--", "IN=" + path("k.tif"), "OUT=" + path("bad.tif"),
                         "CLASSES=9", "THRESHOLD=20"], env=env, capture_output=True, text=True)
check(result.returncode != 0 and "class 9" in result.stdout + result.stderr and not os.path.exists(path("bad.tif")),
      "a refused run fails with tessera's message and writes nothing")

# In one QGIS process: cancel, and the classes of a loaded output.
sys.path.insert(0, os.path.join(profile, "python/plugins"))
os.environ.update(env)
from qgis.core import QgsApplication, QgsProcessingContext, QgsProcessingFeedback, QgsRasterLayer  # noqa: E402
from qgis.PyQt.QtCore import Qt  # noqa: E402

app = QgsApplication([], False)
app.initQgis()
from tessera.provider import TesseraProvider  # noqa: E402
from tessera.style import apply_class_style  # noqa: E402

provider = TesseraProvider()
QgsApplication.processingRegistry().addProvider(provider)
run_tessera("synth", path("big"), "--size", "4000", "--classes", "6", "--seed", "4")
algorithm = QgsApplication.processingRegistry().createAlgorithmById("tessera:kmeans")
class Feedback(QgsProcessingFeedback):
    errors = []

    def reportError(self, error, fatalError=False):  # noqa: N802
        self.errors.append(error)


feedback = Feedback()
# Cancelled at tessera's first progress line, on the thread that reads it, so mid-run whatever
# the machine's speed (a queued slot would wait for this thread, busy in the run).
feedback.progressChanged.connect(lambda percent: feedback.cancel(), Qt.DirectConnection)
results, ok = algorithm.run({"IN": path("big/scene.tif"), "OUT": path("cancelled.tif")}, QgsProcessingContext(),
                            feedback)
error = None if ok else " ".join(feedback.errors)
leftovers = [f for f in os.listdir(scratch) if f.startswith(("cancelled", ".cancelled"))]
check(error is not None and "Cancelled" in error and not leftovers,
      "cancel stops tessera and leaves nothing (%s; %s)" % (error, leftovers))

layer = QgsRasterLayer(path("qk.tif"), "k")
check(apply_class_style(layer), "the K-Means output takes a paletted renderer")
labels = {c.value: c.label for c in layer.renderer().classes()}
named = {v: n for v, n in classes(path("qk.tif"))[1].items() if v != 0}  # 0 is nodata, not a class
check(labels == named, "its classes carry the image's class names: %s" % labels)
print("%d failure(s)" % len(failures), flush=True)
# PyQGIS's own teardown can crash at interpreter exit; the verdict is already known.
os._exit(1 if failures else 0)
