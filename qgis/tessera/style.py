"""Classified outputs shown as classes: each value in its colour table colour,
labelled with its class name (the raster attribute table's or the category
names GDAL reads from the image)."""

from osgeo import gdal
from qgis.core import QgsPalettedRasterRenderer, QgsProcessingLayerPostProcessorInterface, QgsRasterLayer
from qgis.PyQt.QtGui import QColor


def class_styles(path):
    """(value, QColor, name) of every class the image's band 1 has a colour for."""
    dataset = gdal.Open(path)
    if dataset is None:
        return []
    band = dataset.GetRasterBand(1)
    table, names = band.GetColorTable(), band.GetCategoryNames() or []
    if table is None:
        return []
    nodata = band.GetNoDataValue()
    # Named values are the classes; without names, every value up to the largest present.
    named = [v for v in range(min(len(names), table.GetCount())) if names[v]]
    values = named or range(min(table.GetCount(), int(band.ComputeRasterMinMax(False)[1]) + 1))
    classes = []
    for value in values:
        if nodata is not None and value == nodata:
            continue
        r, g, b, a = table.GetColorEntry(value)
        classes.append((value, QColor(r, g, b, a), names[value] if value in named else str(value)))
    return classes


def apply_class_style(layer):
    """Gives a classified layer a paletted renderer with its classes' colours and names."""
    if not isinstance(layer, QgsRasterLayer) or layer.bandCount() != 1:
        return False
    classes = class_styles(layer.source())
    if not classes:
        return False
    renderer = QgsPalettedRasterRenderer(
        layer.dataProvider(), 1, [QgsPalettedRasterRenderer.Class(v, c, n) for v, c, n in classes]
    )
    layer.setRenderer(renderer)
    layer.triggerRepaint()
    return True


class ClassStylePostProcessor(QgsProcessingLayerPostProcessorInterface):
    instance = None  # QGIS holds no reference of its own to a post-processor

    def postProcessLayer(self, layer, context, feedback):  # noqa: N802
        apply_class_style(layer)

    @staticmethod
    def create():
        ClassStylePostProcessor.instance = ClassStylePostProcessor()
        return ClassStylePostProcessor.instance
