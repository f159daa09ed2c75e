#pragma once
// The file-type filters of the windows' file choosers, each defined once.

#include "entry/tesseraexport.h"

// The host offers the same choosers.
namespace Filters {
// Every window that opens a raster or a classified image.
extern TESSERAUI_API const wchar_t* const RasterInput;
// Every window that chooses an output raster.
extern TESSERAUI_API const wchar_t* const RasterOutput;
// Area-of-interest buttons of the classification windows.
extern TESSERAUI_API const wchar_t* const AreaOfInterest;
// Sample editor: save and open.
extern TESSERAUI_API const wchar_t* const SampleSave;
extern TESSERAUI_API const wchar_t* const SampleOpen;
// Sample file choice of the supervised windows.
extern TESSERAUI_API const wchar_t* const SampleChoice;
// Accuracy report.
extern TESSERAUI_API const wchar_t* const Report;
// Vectorize output.
extern TESSERAUI_API const wchar_t* const ShapeOutput;
} // namespace Filters

// Default extensions the choosers are given.
namespace DefaultExt {
inline constexpr const wchar_t* Raster = L".tif";
inline constexpr const wchar_t* Sample = L".cif";
inline constexpr const wchar_t* Report = L".txt";
inline constexpr const wchar_t* Shape = L".shp";
inline constexpr const wchar_t* AoiUnsupervised = L".aif";
} // namespace DefaultExt

// Chooser flags: hide read-only and prompt before overwrite; the supervised
// windows' area-of-interest choice adds multiple selection.
inline constexpr unsigned kFileDialogFlags = 6;
inline constexpr unsigned kFileDialogMultiFlags = 518;
