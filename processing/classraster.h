#pragma once
// The one writer of classified images: single band of class values (Byte
// when they fit, else UInt16), value 0 "Unclassified"; georeferencing copied
// from the input; a GDAL colour table, category names and a raster
// attribute table (value, class name, red, green, blue, pixel count); provenance
// metadata; and the ".acf" beside it with the class table, the pixel counts
// (counted while writing) and the pixel size. The image is written under a
// temporary name beside the target and renamed at the end, so a failed or
// cancelled task leaves nothing behind and never half-overwrites an earlier
// result.

#include "engine/classlist.h"
#include "engine/enginetypes.h"

#include <gdal_priv.h>
#include <gdal_rat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CRasterSource;

namespace tessera {

struct ClassDefinition {
    std::wstring name;
    std::uint32_t colour = 0; // 0x00BBGGRR
    // False for a value inside the table's range that names no class (a gap
    // between sparse codes): it keeps its colour-table slot but gets no row
    // in the attribute table or the .acf unless pixels carry it.
    bool listed = true;
};

// "Unclassified", then "Class 1" .. "Class n" in distinct colours.
std::vector<ClassDefinition> NumberedClasses(int count);

// The raster attribute table of a class raster: one row per listed class or
// class with pixels, columns Value (GFU_MinMax), Class_Name (GFU_Name), Red,
// Green, Blue (0-255) and Count (GFU_PixelCount).
GDALDefaultRasterAttributeTable ClassAttributeTable(const std::vector<ClassDefinition>& classes,
                                                    const std::vector<std::int64_t>& counts);

// The name under which an output is written before it is moved into place,
// beside the target: ".<stem>.partial-<pid>-<n>", unique in this process
// (the caller appends a suffix of its own and the extension).
std::string PartialFilePrefix(const std::wstring& target);
// Gives dataset the grid (geotransform and coordinate system) of reference.
void CopyGrid(GDALDataset& dataset, const CRasterSource& reference);

class ClassRasterWriter {
public:
    ClassRasterWriter();
    ~ClassRasterWriter(); // discards the temporary file unless committed
    ClassRasterWriter(const ClassRasterWriter&) = delete;
    ClassRasterWriter& operator=(const ClassRasterWriter&) = delete;

    // The format a code and a path give: 38 GeoTIFF, 20 ERDAS IMAGINE, the
    // other known codes as numbered; 0 (or an unknown code) takes the
    // format from the path's extension, and GeoTIFF when that names none.
    static int ResolveFormat(int formatCode, const std::wstring& path);

    // The creation options of an output in the format that code and path
    // give: the class-map defaults (GeoTIFF tiled, DEFLATE compressed on
    // every core, BigTIFF when needed; IMAGINE compressed) with the given
    // KEY=VALUE pairs over them. On a pair that is malformed or that the
    // format refuses, error gets one line naming it.
    static CPLStringList CreationOptions(int formatCode, const std::wstring& path,
                                         const std::vector<std::string>& given, std::wstring& error);

    // Creates the temporary image on the grid of reference with room for
    // class values up to maxClass, with the creation options given over the
    // defaults (see CreationOptions).
    bool Create(const std::wstring& target, int formatCode, const CRasterSource& reference, int maxClass,
                const std::vector<std::string>& creationOptions = {});
    // Writes a block of labels and counts them. Safe from several threads.
    bool WriteBlock(int x, int y, int width, int height, const std::uint16_t* labels);
    // Colour table, category names, raster attribute table, metadata; closes,
    // renames to the target and writes the ".acf". Classes are indexed by
    // class value (0 first).
    bool Commit(const std::vector<ClassDefinition>& classes,
                const std::map<std::string, std::string>& metadata);
    // Removes the temporary image.
    void Abort();
    // On a rank other than 0 of a run shared among ranks: closes the image,
    // which holds this rank's blocks only, for rank 0 to copy; Commit then
    // just removes it.
    bool CloseAsPart();

    const std::vector<std::int64_t>& Counts() const { return m_counts; }
    const std::wstring& GetLastError() const { return m_error; }
    // The temporary path (for tests).
    const std::string& TemporaryPath() const { return m_tempPath; }

private:
    bool create(const std::wstring& target, int formatCode, const CRasterSource& reference, int maxClass,
                const std::vector<std::string>& creationOptions);
    bool fail(const std::wstring& message);
    void abortLocked();
    std::vector<std::string> temporaryFiles() const;

    std::mutex m_mutex;
    GDALDatasetUniquePtr m_dataset;
    std::string m_driver;
    std::string m_tempPath;
    std::string m_folder, m_tempPrefix; // the temporary files are m_folder/m_tempPrefix.*
    std::wstring m_target;
    std::vector<std::int64_t> m_counts;
    double m_pixelSizeX = 0, m_pixelSizeY = 0;
    int m_maxClass = 0;
    bool m_committed = false;
    bool m_part = false;
    std::wstring m_error;
};

} // namespace tessera
