"""Runs the tessera binary: its description of the commands, and one command
with its progress read from standard error. No QGIS here, so it is usable
(and testable) on its own."""

import json
import os
import re
import shutil
import signal
import subprocess
import threading

# Without a terminal tessera prints "<title>: [<step> ]<n>%" at every tenth
# and "<title>: <step>" when a step starts.
_PERCENT = re.compile(r"^(?P<title>[^:]+): (?:(?P<step>.*) )?(?P<percent>\d{1,3})%$")
_STEP = re.compile(r"^(?P<title>[^:]+): (?P<step>.+)$")


class TesseraError(Exception):
    """The command failed: the message is tessera's one-line error."""


def find_binary(configured=""):
    """The configured path when set, else tessera on PATH, else None."""
    if configured:
        return configured if os.access(configured, os.X_OK) else None
    return shutil.which("tessera")


def usage(binary):
    """Every command's arguments and options, as `tessera --json-usage` gives them."""
    out = subprocess.run([binary, "--json-usage"], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def parse_progress(line):
    """(percent or None, step or None) of one line of standard error."""
    m = _PERCENT.match(line)
    if m:
        return int(m.group("percent")), m.group("step")
    m = _STEP.match(line)
    if m and not line.startswith("tessera ") and m.group("step") not in ("done", "failed"):
        return None, m.group("step")
    return None, None


def run(argv, on_percent=None, on_step=None, on_line=None, cancelled=lambda: False, poll=0.1):
    """Runs argv; returns its standard output. Raises TesseraError with the
    command's own message when it fails, and InterruptedError when cancelled
    (the command is interrupted as by Ctrl+C and removes what it had begun)."""
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    errors = []

    def read_errors():
        for raw in proc.stderr:
            line = raw.rstrip("\n")
            if on_line:
                on_line(line)
            percent, step = parse_progress(line)
            if percent is not None and on_percent:
                on_percent(percent)
            if step and on_step:
                on_step(step)
            if line.startswith("tessera"):
                errors.append(line)

    reader = threading.Thread(target=read_errors, daemon=True)
    reader.start()
    output = []
    out_reader = threading.Thread(target=lambda: output.extend(proc.stdout), daemon=True)
    out_reader.start()
    interrupted = False
    while True:
        try:
            proc.wait(timeout=poll)
            break
        except subprocess.TimeoutExpired:
            if not interrupted and cancelled():
                proc.send_signal(signal.SIGINT)
                interrupted = True
    reader.join()
    out_reader.join()
    if interrupted:
        raise InterruptedError("cancelled")
    if proc.returncode != 0:
        raise TesseraError(errors[-1] if errors else "tessera ended with exit code %d" % proc.returncode)
    return "".join(output)
