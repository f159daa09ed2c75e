"""Classified outputs shown as classes: each value in its colour table colour,
labelled with its class name (the raster attribute table's or the category
names GDAL reads from the image)."""

from osgeo import gdal
from qgis.core import QgsPalettedRasterRenderer, QgsProcessingLayerPostProcessorInterface, QgsRasterLayer
from qgis.PyQt.QtGui import QColor


def class_names(band):
    """{value: name} of a classified band: its attribute table's value and name columns, else its
    category names."""
    rat = band.GetDefaultRAT()
    if rat is not None:
        usages = [rat.GetUsageOfCol(i) for i in range(rat.GetColumnCount())]
        value = next((usages.index(u) for u in (gdal.GFU_MinMax, gdal.GFU_Min) if u in usages), None)
        name = usages.index(gdal.GFU_Name) if gdal.GFU_Name in usages else None
        if value is not None and name is not None:
            return {rat.GetValueAsInt(r, value): rat.GetValueAsString(r, name) for r in range(rat.GetRowCount())}
    return {v: n for v, n in enumerate(band.GetCategoryNames() or []) if n}


def class_styles(path):
    """(value, QColor, name) of every class the image's band 1 has a colour for."""
    dataset = gdal.Open(path)
    if dataset is None:
        return []
    band = dataset.GetRasterBand(1)
    table, names = band.GetColorTable(), class_names(band)
    if table is None:
        return []
    nodata = band.GetNoDataValue()
    # Named values are the classes; without names, every value up to the largest present.
    values = sorted(v for v in names if v < table.GetCount()) or range(
        min(table.GetCount(), int(band.ComputeRasterMinMax(False)[1]) + 1)
    )
    classes = []
    for value in values:
        if nodata is not None and value == nodata:
            continue
        r, g, b, a = table.GetColorEntry(value)
        classes.append((value, QColor(r, g, b, a), names.get(value, str(value))))
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
