#pragma once
// Post-classification tools on a classified image (one band of class values
// with its ".acf"): class merge, class sieve (removal of small regions) and
// class clump (morphological closing). Each writes a new classified image
// through ClassRasterWriter: same grid, class table and colours as the input,
// pixel counts recounted. The rules are described in docs/algorithms.md.

#include "processing/basealgorithm.h"
#include "processing/blockprocessor.h"
#include "processing/classraster.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CClassifyMergeParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CClassifyMergeParam>(*this);
    }

    std::wstring m_assistantFilePath;         // ".acf" of the input; empty: paired with the input path
    std::vector<std::wstring> m_mergeEntries; // "FROM+TO", class names
    std::map<std::wstring, int> m_classMap;   // class name to class number
};

class CClassifiedSieveParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CClassifiedSieveParam>(*this);
    }

    std::wstring m_assistantFilePath; // ".acf" of the input; empty: paired with the input path
    std::wstring m_description;       // free text; not used by the algorithm
    int m_filterClassCount = 0;       // classes the user chose (some may not be in the class map)
    int m_classCount = 0;             // classes of the assistant file
    int m_threshold = 0;              // regions of fewer pixels are removed; read as unsigned
    int m_neighbourhood = 0;          // 0: 4-connected regions, 1: 8-connected
    std::vector<std::wstring> m_classNames;
    std::map<std::wstring, int> m_classMap; // name to number of every class to sieve
};

class CClassifyClumpParam : public AlgorithmParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CClassifyClumpParam>(*this);
    }

    std::vector<double> m_elementValues; // row by row; non-zero: member cell
    int m_elementRows = 0;
    int m_elementColumns = 0;
    int m_anchorColumn = 0;
    int m_anchorRow = 0;
    int m_selectedClassCount = 0;
    std::vector<std::wstring> m_classNames;
    std::map<std::wstring, int> m_classMap; // name to number of every class to clump
    int m_classCount = 0;
    double m_pixelSizeX = 0;
    double m_pixelSizeY = 0;
    std::vector<int> m_classSecondValues;
    std::vector<std::int64_t> m_classPixelCounts;
    // Not written by the window.
    std::wstring m_assistantFilePath; // ".acf" of the input; empty: paired with the input path
    std::wstring m_classNameField;    // reserved; not used by the algorithm
    std::wstring m_description;       // free text; not used by the algorithm
};

// The steps every post-classification tool shares: checks and opens the
// input (band 1 holds the classes) and reads its class table; the pass
// over the image is the tool's own.
class CPostClassAlgorithm : public CBaseAlgorithm {
public:
    using CBaseAlgorithm::CBaseAlgorithm;

    // Test seam: the block size of the block loop (0 takes the input's tiles
    // or strips) and its worker threads (0: one per hardware thread).
    void SetBlockSize(int width, int height) {
        m_blockWidth = width;
        m_blockHeight = height;
    }
    void SetWorkerCount(int workers) { m_workers = workers; }

protected:
    // Input and output paths, the input raster, and the class table read from
    // the assistant file (its path, or the one paired with the input when
    // empty). The record's band list is not used: classes are in band 1.
    bool PreparePostClass(const std::wstring& assistantPath);
    // The block loop over band 1 of the input, with the test seam's block
    // size and worker count; without one, blocks of defaultBlockSize square
    // (0: the input's tiles or strips).
    tessera::BlockProcessor Blocks(int defaultBlockSize = 0) const;
    // Writes every pixel as the kernel labels it through ClassRasterWriter,
    // with the class table and metadata; blocks are read with `halo` pixels
    // of context on every side when the kernel needs neighbours.
    struct Window {
        int x = 0, y = 0, width = 0, height = 0;                 // the pixels read, halo included
        int coreX = 0, coreY = 0, coreWidth = 0, coreHeight = 0; // the pixels to label
        const std::vector<std::uint16_t>* values = nullptr;      // class values, 0 outside the image's data
        std::uint16_t At(int col, int row) const {
            return (*values)[static_cast<size_t>(row - y) * width + (col - x)];
        }
    };
    // A kernel returns false when the window is too narrow to label its
    // core: the pass then stops, nothing is written and *tooNarrow is set.
    using WindowKernel = std::function<bool(const Window& window, std::uint16_t* labels, int worker)>;
    // The metadata is asked for when the pass has run, so it may hold its counts.
    using Metadata = std::function<std::map<std::string, std::string>()>;
    bool WriteWithHalo(tessera::BlockProcessor& blocks, int halo, const WindowKernel& kernel,
                       const Metadata& metadata, const std::wstring& step, bool* tooNarrow = nullptr);
    // Per-pixel transform over the shared block loop.
    bool WriteMapped(const std::vector<std::uint16_t>& lookup,
                     const std::map<std::string, std::string>& metadata, const std::wstring& step);

    // Class numbers named by a name-to-number map, checked against the table.
    bool ChosenClasses(const std::map<std::wstring, int>& classMap, std::vector<std::uint8_t>& chosen);

    std::vector<tessera::ClassDefinition> m_classes; // by class value; value 0 first
    std::wstring m_classSource;                      // where the classes came from, for messages
    int m_workers = 0;

private:
    // Commits the output of a pass, or drops it with the reason: a value
    // that is no class (valueError), else the loop's error; nothing when
    // the pass was cancelled.
    bool finishPass(bool ran, const std::wstring& loopError, const std::wstring& valueError,
                    tessera::ClassRasterWriter& writer, const std::map<std::string, std::string>& metadata);

    int m_blockWidth = 0, m_blockHeight = 0;
};

class CClassifyMerge : public CPostClassAlgorithm {
public:
    // Copies the record (a CClassifyMergeParam; a plain record keeps no rules).
    explicit CClassifyMerge(const AlgorithmParam* param);
    bool Preproccess() override;
    bool Process() override;
    const CClassifyMergeParam& Param() const { return static_cast<const CClassifyMergeParam&>(*m_param); }

    // The class value each value becomes (for the table the input's .acf
    // gives; Preproccess must have run). Empty with the error set on a
    // rule that names no known class.
    const std::vector<std::uint16_t>& Lookup() const { return m_lookup; }

private:
    std::vector<std::uint16_t> m_lookup;
};

class CClassifiedSieve : public CPostClassAlgorithm {
public:
    explicit CClassifiedSieve(const AlgorithmParam* param);
    bool Preproccess() override;
    bool Process() override;
    const CClassifiedSieveParam& Param() const { return static_cast<const CClassifiedSieveParam&>(*m_param); }
    // The neighbourhood a pixel's region grows through: 3 (a 3 × 3 window).
    int GetKernelSize() const { return 3; }

private:
    std::vector<std::uint8_t> m_chosen;
};

class ClassifyClump : public CPostClassAlgorithm {
public:
    explicit ClassifyClump(const AlgorithmParam* param);
    bool Preproccess() override;
    bool Process() override;
    const CClassifyClumpParam& Param() const { return static_cast<const CClassifyClumpParam&>(*m_param); }

private:
    std::vector<std::uint8_t> m_chosen;
    std::vector<std::pair<int, int>> m_offsets; // member cells as (column, row) offsets from the anchor
};

// Splits a merge entry "FROM+TO" at the "+" that leaves a known class name
// on both sides (names may hold "+"); false when no split does.
bool SplitMergeEntry(const std::wstring& entry, const std::map<std::wstring, int>& names, std::wstring& from,
                     std::wstring& to);
