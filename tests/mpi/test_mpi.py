#!/usr/bin/python3
"""The distributed commands under `mpirun -np 3` against the same commands on one
process: the same labels, centres, class files and sample file; an error met by one
rank fails the run with one message and no output. Usage: test_mpi.py TESSERA WORKDIR"""
import os, shutil, subprocess, sys
from osgeo import gdal

tessera, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
# Containers often forbid the cross-process memory copies OpenMPI's shared-memory transport tries first.
os.environ.setdefault("OMPI_MCA_btl_vader_single_copy_mechanism", "none")
mpirun = ["mpirun", "-q", "--oversubscribe", "-np", "3"] + (["--allow-run-as-root"] if os.geteuid() == 0 else [])
failures = []


def run(args, ranks=False, ok=True):
    quiet = [] if args[0] in ("synth", "samples") else ["--quiet"]
    done = subprocess.run((mpirun if ranks else []) + [tessera] + args + quiet, cwd=work,
                          capture_output=True, text=True)
    if ok and done.returncode != 0:
        sys.exit(f"{' '.join(args)} failed: {done.stderr}")
    return done


def check(condition, what):
    if not condition:
        failures.append(what)


def same_outputs(name):
    one, three = [gdal.Open(os.path.join(work, f"{name}{n}.tif")) for n in (1, 3)]
    check((one.ReadAsArray() == three.ReadAsArray()).all(), f"{name}: labels differ")
    a, b = [open(os.path.join(work, f"{name}{n}.acf"), "rb").read() for n in (1, 3)]
    check(a == b, f"{name}: .acf differs")
    band1, band3 = one.GetRasterBand(1), three.GetRasterBand(1)
    check(band1.GetCategoryNames() == band3.GetCategoryNames(), f"{name}: class names differ")
    check(band3.GetColorTable() is not None and band3.GetDefaultRAT() is not None, f"{name}: no colour or attribute table")
    centres = [[float(v) for v in d.GetMetadataItem("CENTRES", "TESSERA").replace(";", ",").split(",")]
               for d in (one, three)] if one.GetMetadataItem("CENTRES", "TESSERA") else [[], []]
    check(len(centres[0]) == len(centres[1]) and
          all(abs(x - y) <= 1e-9 * max(abs(x), 1) for x, y in zip(*centres)), f"{name}: centres differ")


# An uneven scene, so the ranks' shares of the 256-pixel tiles differ.
run(["synth", "scene", "--width", "700", "--height", "555", "--seed", "5"])
image = "scene/scene.tif"
commands = {
    "kmeans": ["kmeans", image, "{out}", "--classes", "6", "--sample", "20000", "--change", "0"],
    "isodata": ["isodata", image, "{out}", "--classes", "4", "--min-pixels", "50"],
    "maxlik": ["classify", image, "samples1.cif", "{out}", "--method", "maxlik"],
    "svm": ["classify", image, "samples1.cif", "{out}", "--method", "svm"],
}
for n, ranks in ((1, False), (3, True)):
    run(["samples", image, "scene/training.shp", "--class-field", "class", f"samples{n}.cif"], ranks)
check(open(os.path.join(work, "samples1.cif"), "rb").read() == open(os.path.join(work, "samples3.cif"), "rb").read(),
      "samples: sample files differ")
for name, args in commands.items():
    for n, ranks in ((1, False), (3, True)):
        run([a.replace("{out}", f"{name}{n}.tif") for a in args], ranks)
    same_outputs(name)

# The last tile unreadable: only the rank that labels it meets the error.
shutil.copy(os.path.join(work, image), os.path.join(work, "bad.tif"))
bad = gdal.Open(os.path.join(work, "bad.tif"))
offset, size = [int(bad.GetRasterBand(1).GetMetadataItem(f"BLOCK_{what}_2_2", "TIFF")) for what in ("OFFSET", "SIZE")]
bad = None
with open(os.path.join(work, "bad.tif"), "r+b") as f:
    f.seek(offset)
    f.write(b"\xff" * size)
failed = run(["kmeans", "bad.tif", "bad-out.tif"], True, ok=False)
lines = [l for l in failed.stderr.splitlines() if l.startswith("tessera")]
check(failed.returncode != 0 and len(lines) == 1 and "Reading the input image failed" in lines[0],
      f"one rank's error: exit {failed.returncode}, {failed.stderr!r}")
check(not [f for f in os.listdir(work) if f.startswith(("bad-out", ".bad-out"))], "one rank's error left files")
# A command that does not share its work refuses to run on several ranks.
check(run(["sieve", "kmeans1.tif", "sieved.tif", "--classes", "1"], True, ok=False).returncode == 2,
      "sieve under mpirun did not refuse")
check(run(["classify", image, "samples1.cif", "conf.tif", "--method", "maxlik", "--confidence", "c.tif"],
          True, ok=False).returncode == 2, "classify --confidence under mpirun did not refuse")

print("\n".join(failures) or "distributed runs match the single-process runs")
sys.exit(1 if failures else 0)
