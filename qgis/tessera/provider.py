"""The Tessera provider: one algorithm per command of the tessera binary it
finds (on PATH, or the path set in Processing > Options > Providers)."""

import os

from qgis.core import QgsMessageLog, QgsProcessingProvider

from . import runner
from .algorithm import TesseraAlgorithm

SETTING = "TESSERA_BINARY"
# Commands for a folder of generated data, not for a map in a project.
_LEFT_OUT = {"synth", "demo"}


def _configured_binary():
    try:
        from processing.core.ProcessingConfig import ProcessingConfig

        return ProcessingConfig.getSetting(SETTING) or ""
    except ImportError:
        return ""


class TesseraProvider(QgsProcessingProvider):
    def load(self):
        try:
            from processing.core.ProcessingConfig import ProcessingConfig, Setting

            ProcessingConfig.settingIcons[self.name()] = self.icon()
            ProcessingConfig.addSetting(
                Setting(self.name(), SETTING, "tessera executable (empty: found on PATH)", "", valuetype=Setting.FILE)
            )
            ProcessingConfig.readSettings()
        except ImportError:  # Processing's Python side is not loaded: PATH or TESSERA_BINARY only
            pass
        self.refreshAlgorithms()
        return True

    def unload(self):
        try:
            from processing.core.ProcessingConfig import ProcessingConfig

            ProcessingConfig.removeSetting(SETTING)
        except ImportError:
            pass

    def id(self):
        return "tessera"

    def name(self):
        return "Tessera"

    def longName(self):  # noqa: N802
        return "Tessera image classification"

    def loadAlgorithms(self):  # noqa: N802
        binary = runner.find_binary(_configured_binary() or os.environ.get(SETTING, ""))
        if not binary:
            QgsMessageLog.logMessage("tessera was not found on PATH nor set in the options", "Tessera")
            return
        try:
            commands = runner.usage(binary)["commands"]
        except Exception as error:  # a binary that is not tessera, or too old for --json-usage
            QgsMessageLog.logMessage("%s --json-usage failed: %s" % (binary, error), "Tessera")
            return
        for command in commands:
            if command["name"] in _LEFT_OUT:
                continue
            if command.get("selector"):
                for group in command["groups"]:
                    self.addAlgorithm(TesseraAlgorithm(command, binary, group["value"]))
            else:
                self.addAlgorithm(TesseraAlgorithm(command, binary))
