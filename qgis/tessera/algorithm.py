"""One Processing algorithm per tessera command (per method for classify),
its parameters built from the command's description (tessera --json-usage)."""

import re

from qgis.core import (
    QgsProcessing,
    QgsProcessingAlgorithm,
    QgsProcessingException,
    QgsProcessingOutputString,
    QgsProcessingParameterBoolean,
    QgsProcessingParameterEnum,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterDestination,
    QgsProcessingParameterRasterLayer,
    QgsProcessingParameterString,
    QgsProcessingParameterVectorDestination,
    QgsProcessingParameterVectorLayer,
)

from . import runner
from .style import ClassStylePostProcessor

_FILE_FILTERS = {
    "samples": "Tessera sample files (*.cif)",
    "text": "Text files (*.txt)",
    "json": "JSON files (*.json)",
    "csv": "CSV files (*.csv)",
    "model": "All files (*.*)",
}

# What the provider's tests and QGIS call each command; the id is the command's name.
_GROUPS = {
    "kmeans": "Unsupervised",
    "isodata": "Unsupervised",
    "classify": "Supervised",
    "samples": "Supervised",
    "accuracy": "Accuracy",
    "merge": "Post-classification",
    "sieve": "Post-classification",
    "clump": "Post-classification",
    "stats": "Post-classification",
    "polygonize": "Post-classification",
}


def parameter_name(option_name):
    return option_name.upper().replace("-", "_")


class TesseraAlgorithm(QgsProcessingAlgorithm):
    STDOUT = "STDOUT"

    def __init__(self, command, binary, method=None):
        super().__init__()
        self._command = command
        self._binary = binary
        self._method = method
        self._group = next((g for g in command.get("groups", []) if g["value"] == method), None)

    # Identity --------------------------------------------------------------
    def name(self):
        return self._command["name"] + ("_" + self._method if self._method else "")

    def displayName(self):  # noqa: N802
        # The first clause of the tool's own one-line summary: "Accuracy assessment", "Maximum likelihood
        # decision rule".
        text = self._group["summary"] if self._method else self._command["summary"]
        text = re.sub(r"\s*\([^)]*\)", "", text)
        for end in (" trained ", " on the ", ":", ";"):
            text = text.split(end)[0]
        text = text.rstrip(".")
        return text[:1].upper() + text[1:]

    def group(self):
        return _GROUPS.get(self._command["name"], "Tessera")

    def groupId(self):  # noqa: N802
        return self.group().lower().replace(" ", "").replace("-", "")

    def shortHelpString(self):  # noqa: N802
        text = self._command["summary"]
        if self._command.get("details"):
            text += "\n\n" + self._command["details"]
        return text

    def createInstance(self):  # noqa: N802
        return TesseraAlgorithm(self._command, self._binary, self._method)

    # Parameters ------------------------------------------------------------
    def _options(self):
        selector = self._command.get("selector")
        options = [o for o in self._command["options"] if o["name"] not in ("quiet", selector)]
        if self._group:
            options += self._group["options"]
        return options

    def initAlgorithm(self, config=None):  # noqa: N802
        for argument in self._command["arguments"]:
            self.addParameter(self._file_parameter(argument["name"], argument, not argument["required"]))
        for option in self._options():
            self.addParameter(self._option_parameter(option))
        if self._command.get("stdout"):
            self.addParameter(
                QgsProcessingParameterFileDestination(
                    self.STDOUT, "Printed result", _FILE_FILTERS["text"], optional=True
                )
            )
            self.addOutput(QgsProcessingOutputString(self.STDOUT + "_TEXT", "Printed result"))

    def _file_parameter(self, name, described, optional):
        spec = described.get("file") or {}
        role, kind, text = spec.get("role"), spec.get("kind"), described["help"]
        if role == "input" and kind == "raster":
            return QgsProcessingParameterRasterLayer(name, text, optional=optional)
        if role == "input" and kind == "vector":
            return QgsProcessingParameterVectorLayer(
                name, text, [QgsProcessing.TypeVectorAnyGeometry], optional=optional
            )
        if role == "input":
            return QgsProcessingParameterFile(
                name, text, extension=spec.get("extension", "").lstrip("."), optional=optional
            )
        if role == "output" and kind == "raster":
            return QgsProcessingParameterRasterDestination(name, text, optional=optional)
        if role == "output" and kind == "vector":
            return QgsProcessingParameterVectorDestination(
                name, text, QgsProcessing.TypeVectorPolygon, optional=optional
            )
        if role == "output":
            return QgsProcessingParameterFileDestination(
                name, text, _FILE_FILTERS.get(kind, "All files (*.*)"), optional=optional
            )
        return QgsProcessingParameterString(name, text, optional=optional)

    def _option_parameter(self, option):
        name, text = parameter_name(option["name"]), option["help"]
        optional = not option["required"]
        kind, default = option["type"], option.get("default")
        if option.get("file"):
            return self._file_parameter(name, option, optional)
        if kind == "flag":
            return QgsProcessingParameterBoolean(name, text, defaultValue=False, optional=True)
        if option.get("choices"):
            choices = option["choices"]
            index = choices.index(default) if default in choices else None
            return QgsProcessingParameterEnum(name, text, choices, defaultValue=index, optional=optional)
        if kind in ("int", "double"):
            number = QgsProcessingParameterNumber.Integer if kind == "int" else QgsProcessingParameterNumber.Double
            parameter = QgsProcessingParameterNumber(
                name, text, number, defaultValue=None if default is None else float(default), optional=optional
            )
            if option.get("min") is not None:
                parameter.setMinimum(option["min"])
            if option.get("max") is not None:
                parameter.setMaximum(option["max"])
            return parameter
        return QgsProcessingParameterString(name, text, defaultValue=default, optional=optional)

    # Running -----------------------------------------------------------------
    def _path(self, parameters, name, described, context):
        spec = described.get("file") or {}
        if spec.get("role") == "input" and spec.get("kind") == "raster":
            layer = self.parameterAsRasterLayer(parameters, name, context)
            return layer.source() if layer else None
        if spec.get("role") == "input" and spec.get("kind") == "vector":
            layer = self.parameterAsVectorLayer(parameters, name, context)
            return layer.source().split("|")[0] if layer else None
        if spec.get("role") == "input":
            return self.parameterAsFile(parameters, name, context) or None
        if spec.get("role") == "output" and spec.get("kind") == "raster":
            return self.parameterAsOutputLayer(parameters, name, context) or None
        if spec.get("role") == "output" and spec.get("kind") == "vector":
            return self.parameterAsOutputLayer(parameters, name, context) or None
        if spec.get("role") == "output":
            return self.parameterAsFileOutput(parameters, name, context) or None
        return self.parameterAsString(parameters, name, context) or None

    def command_line(self, parameters, context):
        """The tessera command line these parameter values stand for, and the outputs it writes."""
        argv, outputs = [self._binary, self._command["name"]], {}
        for argument in self._command["arguments"]:
            path = self._path(parameters, argument["name"], argument, context)
            if path is None:
                continue
            argv.append(path)
            if (argument.get("file") or {}).get("role") == "output":
                outputs[argument["name"]] = path
        if self._method:
            argv += ["--" + self._command["selector"], self._method]
        for option in self._options():
            name = parameter_name(option["name"])
            if parameters.get(name) is None:  # not given: tessera's own default applies
                continue
            if option.get("file"):
                value = self._path(parameters, name, option, context)
                if value and (option["file"].get("role") == "output"):
                    outputs[name] = value
            elif option["type"] == "flag":
                if self.parameterAsBoolean(parameters, name, context):
                    argv.append("--" + option["name"])
                continue
            elif option.get("choices"):
                value = option["choices"][self.parameterAsEnum(parameters, name, context)]
            elif option["type"] == "int":
                value = str(self.parameterAsInt(parameters, name, context))
            elif option["type"] == "double":
                value = repr(self.parameterAsDouble(parameters, name, context))
            else:
                value = self.parameterAsString(parameters, name, context)
            if option.get("repeatable"):  # one field, the values apart by spaces or "|"
                for item in re.split(r"[\s|]+", value or ""):
                    if item:
                        argv += ["--" + option["name"], item]
            elif value not in (None, ""):
                argv += ["--" + option["name"], value]
        return argv, outputs

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        argv, outputs = self.command_line(parameters, context)
        feedback.pushCommandInfo(" ".join('"%s"' % a if " " in a else a for a in argv))
        try:
            printed = runner.run(
                argv,
                on_percent=feedback.setProgress,
                on_step=feedback.setProgressText,
                on_line=feedback.pushConsoleInfo,
                cancelled=feedback.isCanceled,
            )
        except InterruptedError:
            raise QgsProcessingException("Cancelled: tessera stopped and kept no partial output.")
        except runner.TesseraError as error:
            raise QgsProcessingException(str(error))
        results = dict(outputs)
        for name, path in outputs.items():
            spec = next((a.get("file") for a in self._command["arguments"] if a["name"] == name), None) or next(
                (o.get("file") for o in self._options() if parameter_name(o["name"]) == name), {}
            )
            if spec.get("kind") == "raster" and context.willLoadLayerOnCompletion(path):
                context.layerToLoadOnCompletionDetails(path).setPostProcessor(ClassStylePostProcessor.create())
        if self._command.get("stdout"):
            results[self.STDOUT + "_TEXT"] = printed
            target = self.parameterAsFileOutput(parameters, self.STDOUT, context)
            if target:
                with open(target, "w", encoding="utf-8") as f:
                    f.write(printed)
                results[self.STDOUT] = target
            feedback.pushInfo(printed)
        return results
