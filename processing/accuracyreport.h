#pragma once
// The error matrix of check points, the accuracy and kappa quantities derived
// from it, and the fixed-layout text report. Data first, text second: the
// quantities are computed into AccuracySummary, which the report writer and
// the JSON writer render.

#include "processing/accuracypoint.h"

#include <cstdint>
#include <locale>
#include <string>
#include <vector>

namespace tessera {

// n x n counts; At(r, c) counts the points whose reference is r and whose
// classified value is c (class value i is class index i).
class ErrorMatrix {
public:
    explicit ErrorMatrix(int classCount = 0);
    int ClassCount() const { return m_n; }
    std::int64_t At(int reference, int classified) const { return m_counts[index(reference, classified)]; }
    // Counts one point; false (nothing counted) when either value lies
    // outside 0 to n-1.
    bool Add(int reference, int classified, std::int64_t count = 1);
    // Adds another matrix of the same size.
    void Merge(const ErrorMatrix& other);

private:
    size_t index(int r, int c) const { return static_cast<size_t>(r) * static_cast<size_t>(m_n) + c; }
    int m_n;
    std::vector<std::int64_t> m_counts;
};

// The matrix of a set of points; points outside the class range are left out.
ErrorMatrix BuildErrorMatrix(const std::vector<AccuracyPoint>& points, int classCount);

struct ClassAccuracy {
    std::int64_t referenceTotal = 0;  // A: points whose reference is the class
    std::int64_t classifiedTotal = 0; // B: points classified as the class
    std::int64_t correct = 0;         // C
    double producers = -1;            // C / A x 100; -1 when A is 0
    double users = -1;                // C / B x 100; -1 when B is 0
    double conditionalKappa = 0;      // (N C - A B) / ((N - A) B); 0 when the denominator is 0
};

struct AccuracySummary {
    std::vector<ClassAccuracy> classes;
    std::int64_t counted = 0;      // N: points inside the class range
    std::int64_t totalCorrect = 0; // T
    double chanceProducts = 0;     // S = sum of A x B (exact integer, as a double)
    double overallAccuracy = -1;   // T / N x 100; -1 when N is 0
    double kappa = 0;              // (N T - S) / (N N - S); 0 when the denominator is 0
};

// Every product of counts is formed exactly in integers before the division.
AccuracySummary SummarizeErrorMatrix(const ErrorMatrix& matrix);

// Which sections the report holds.
struct ReportSections {
    bool errorMatrix = true;
    bool overallAccuracy = true;
    bool kappa = true;
};

// The report text, one wide string with CR LF line ends. Numbers take the
// locale's numeric punctuation; doubles are written as printf's %g would
// (6 significant digits). names[i] names class i; missing names are empty.
std::wstring FormatAccuracyReport(const ErrorMatrix& matrix, const AccuracySummary& summary,
                                  const std::vector<std::wstring>& names, const ReportSections& sections,
                                  const std::locale& locale);

// The user's default locale (the environment's), or the classic one when the
// environment names a locale the system does not have.
std::locale UserLocale();

// Wide text in the locale's narrow encoding. A character the encoding cannot
// represent becomes '?'. The "C"/"POSIX" locale writes UTF-8, the system's
// narrow encoding for file names and GDAL.
std::string EncodeForLocale(const std::wstring& text, const std::locale& locale);

enum class ReportWriteResult { Written, BadArguments, OpenFailed, WriteFailed };

// Writes bytes to a temporary file beside path and renames it over path
// (formatio::ReplaceFile), so a failed write never truncates a report that
// was there. OpenFailed when the temporary file cannot be created.
ReportWriteResult WriteFileAtomically(const std::wstring& path, const std::string& bytes);

// Formats the report in the locale and writes it atomically. A null matrix or
// an empty path: BadArguments, nothing written.
ReportWriteResult WriteAccuracyReportFile(const ErrorMatrix* matrix, const std::vector<std::wstring>& names,
                                          const std::wstring& path, const ReportSections& sections,
                                          const std::locale& locale);

} // namespace tessera
