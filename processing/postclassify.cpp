#include "processing/postclassify.h"

#include "base/commonfun.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "processing/regionsieve.h"

#include <cpl_error.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>

using namespace tessera;

namespace {

std::string classList(const std::vector<std::uint8_t>& chosen) {
    std::string list;
    for (size_t v = 0; v < chosen.size(); ++v)
        if (chosen[v]) {
            if (!list.empty())
                list += ',';
            list += std::to_string(v);
        }
    return list;
}

// First pixel whose value has no class, shared by the workers of a pass.
struct BadValue {
    std::atomic<bool> found{false};
    std::mutex mutex;
    long long value = 0;
    int col = 0, row = 0;
    std::wstring source; // where the classes came from

    void note(long long v, int c, int r) {
        std::lock_guard<std::mutex> lock(mutex);
        if (found)
            return;
        value = v, col = c, row = r;
        found = true;
    }
    std::wstring message() const {
        return L"Pixel (" + std::to_wstring(col) + L", " + std::to_wstring(row) + L") holds the value " +
               std::to_wstring(value) + L", which is not a class of " + source + L".";
    }
};

// Whether a pixel value is a class value of the table (0 to maxClass).
bool isClassValue(float v, int maxClass) {
    return v >= 0 && v <= static_cast<float>(maxClass) && v == std::floor(v);
}

// The class values of a block as the post-classification kernels see them:
// 0 for pixels that are nodata, outside the rectangle or no class. A value
// that is no class is noted by the block whose core holds it.
void classValues(const PixelBlock& block, const PixelRect& core, int maxClass, BadValue& bad,
                 std::vector<std::uint16_t>& classes) {
    classes.assign(static_cast<size_t>(block.PixelCount()), 0);
    for (int i = 0; i < block.PixelCount(); ++i) {
        if (!block.valid[i])
            continue;
        const float v = block.values[i];
        if (!isClassValue(v, maxClass)) {
            const int col = block.x + i % block.width, row = block.y + i / block.width;
            if (col >= core.left && col < core.right && row >= core.top && row < core.bottom)
                bad.note(static_cast<long long>(v), col, row);
            continue;
        }
        classes[i] = static_cast<std::uint16_t>(v);
    }
}

} // namespace

bool SplitMergeEntry(const std::wstring& entry, const std::map<std::wstring, int>& names, std::wstring& from,
                     std::wstring& to) {
    for (size_t plus = entry.find(L'+'); plus != std::wstring::npos; plus = entry.find(L'+', plus + 1)) {
        const std::wstring left = entry.substr(0, plus), right = entry.substr(plus + 1);
        if (names.count(left) && names.count(right)) {
            from = left;
            to = right;
            return true;
        }
    }
    return false;
}

// ---- Shared steps -----------------------------------------------------------

bool CPostClassAlgorithm::PreparePostClass(const std::wstring& assistantPath) {
    // The base checks the paths and opens the input; the classes are in
    // the first band whatever band list was recorded (the windows list every
    // band of the input), so the check runs on that band alone and the
    // record is left as copied.
    std::vector<int> recorded = std::move(m_param->m_bandList);
    m_param->m_bandList = {0};
    const bool ok = CBaseAlgorithm::Preproccess();
    m_param->m_bandList = std::move(recorded);
    if (!ok)
        return false;
    m_bands = {1};

    // An assistant file the record names is read as it is; otherwise the
    // image's classes come from wherever it keeps them (.acf, attribute
    // table, category names, pixel values).
    RasterClassList list;
    if (assistantPath.empty()) {
        std::wstring error;
        if (!ReadRasterClassList(m_param->m_inputPath, list, error))
            return Fail(error);
    } else {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(CommonFun::U2M(assistantPath), ec))
            return Fail(L"The classification assistant file " + assistantPath + L" does not exist.");
        CClassifiedAssistantFile acf;
        if (!acf.ReadClassifiedAssistantFile(assistantPath))
            return Fail(L"Cannot read the classification assistant file " + assistantPath + L": " +
                        CommonFun::M2U(acf.GetLastError()));
        list.source = ClassListSource::AssistantFile;
        list.sourcePath = assistantPath;
        for (const ClassRecord* r : acf.GetClassRecords())
            list.classes.push_back({r->m_classNumber, r->m_name, r->m_colour, r->m_pixelCount});
    }
    if (list.classes.empty())
        return Fail(L"No class is named in " + list.SourceText() + L".");
    for (const RasterClass& c : list.classes)
        if (c.value < 0 || c.value > 65535)
            return Fail(L"There is the class number " + std::to_wstring(c.value) + L" in " +
                        list.SourceText() + L"; class numbers run from 0 to 65535.");
    // Values the list does not name keep a plain name and no row of their
    // own; the list's classes give the others their name and colour.
    const int maxValue = list.MaxValue();
    m_classes.assign(static_cast<size_t>(maxValue) + 1, ClassDefinition{});
    m_classes[0].name = L"Unclassified";
    for (int v = 1; v <= maxValue; ++v)
        m_classes[v] = {L"Class " + std::to_wstring(v), 0, list.source == ClassListSource::AssistantFile};
    for (const RasterClass& c : list.classes)
        m_classes[c.value] = {c.name, c.colour, true};
    m_classSource = list.SourceText();
    return true;
}

bool CPostClassAlgorithm::ChosenClasses(const std::map<std::wstring, int>& classMap,
                                        std::vector<std::uint8_t>& chosen) {
    chosen.assign(m_classes.size(), 0);
    for (const auto& [name, number] : classMap) {
        if (number < 0 || number >= static_cast<int>(m_classes.size()))
            return Fail(L"Class " + std::to_wstring(number) + L" (" + name + L") is not a class of " +
                        m_classSource + L".");
        if (number > 0) // 0 is "Unclassified": no region of it is changed
            chosen[number] = 1;
    }
    if (std::find(chosen.begin(), chosen.end(), 1) == chosen.end())
        return Fail(L"No class was chosen.");
    return true;
}

BlockProcessor CPostClassAlgorithm::Blocks(int defaultBlockSize) const {
    BlockProcessor blocks(*m_input, m_bands, nullptr, ProcessingRect());
    if (m_blockWidth == 0)
        blocks.SetBlockSize(defaultBlockSize, defaultBlockSize);
    else
        blocks.SetBlockSize(m_blockWidth, m_blockHeight);
    blocks.SetWorkerCount(m_workers);
    return blocks;
}

bool CPostClassAlgorithm::finishPass(bool ran, const std::wstring& loopError, const std::wstring& valueError,
                                     ClassRasterWriter& writer,
                                     const std::map<std::string, std::string>& metadata) {
    if (!ran || !valueError.empty()) {
        writer.Abort();
        if (!ran && loopError.empty())
            return false; // cancelled
        return Fail(valueError.empty() ? loopError : valueError);
    }
    if (!writer.Commit(m_classes, metadata))
        return Fail(writer.GetLastError());
    ReportPercent(100);
    return true;
}

bool CPostClassAlgorithm::WriteMapped(const std::vector<std::uint16_t>& lookup,
                                      const std::map<std::string, std::string>& metadata,
                                      const std::wstring& step) {
    BlockProcessor blocks = Blocks();
    ClassRasterWriter writer;
    const int maxClass = static_cast<int>(m_classes.size()) - 1;
    if (!writer.Create(m_param->m_outputPath, m_param->m_outputFormat, *m_input, maxClass,
                       m_param->m_creationOptions))
        return Fail(writer.GetLastError());
    BadValue bad;
    bad.source = m_classSource;
    const bool ok = blocks.LabelBlocks(
        [&](const PixelBlock& block, std::uint16_t* labels, int) {
            for (int i = 0; i < block.PixelCount(); ++i) {
                if (!block.valid[i])
                    continue;
                const float v = block.values[i];
                if (!isClassValue(v, maxClass)) {
                    bad.note(static_cast<long long>(v), block.x + i % block.width, block.y + i / block.width);
                    continue;
                }
                labels[i] = lookup[static_cast<size_t>(v)];
            }
        },
        writer, Stage(0, 100, step));
    return finishPass(ok, blocks.GetLastError(), bad.found ? bad.message() : std::wstring(), writer,
                      metadata);
}

bool CPostClassAlgorithm::WriteWithHalo(BlockProcessor& blocks, int halo, const WindowKernel& kernel,
                                        const Metadata& metadata, const std::wstring& step, bool* tooNarrow) {
    ClassRasterWriter writer;
    const int maxClass = static_cast<int>(m_classes.size()) - 1;
    if (!writer.Create(m_param->m_outputPath, m_param->m_outputFormat, *m_input, maxClass,
                       m_param->m_creationOptions))
        return Fail(writer.GetLastError());
    std::vector<std::vector<std::uint16_t>> values(blocks.WorkerCount());
    BadValue bad;
    bad.source = m_classSource;
    std::atomic<bool> narrow{false};
    const ProgressFn stage = Stage(0, 100, step);
    const bool ok = blocks.LabelWindows(
        halo,
        [&](const PixelBlock& block, const PixelRect& core, std::uint16_t* labels, int worker) {
            std::vector<std::uint16_t>& classes = values[worker];
            classValues(block, core, maxClass, bad, classes);
            Window window;
            window.x = block.x, window.y = block.y, window.width = block.width, window.height = block.height;
            window.coreX = core.left, window.coreY = core.top;
            window.coreWidth = core.Width(), window.coreHeight = core.Height();
            window.values = &classes;
            if (!kernel(window, labels, worker))
                narrow = true;
        },
        writer, [&](double fraction) { return !narrow && stage(fraction); });
    if (narrow) {
        writer.Abort();
        if (tooNarrow)
            *tooNarrow = true;
        return false;
    }
    return finishPass(ok, blocks.GetLastError(), bad.found ? bad.message() : std::wstring(), writer,
                      ok ? metadata() : std::map<std::string, std::string>());
}

// ---- Merge --------------------------------------------------------------------

CClassifyMerge::CClassifyMerge(const AlgorithmParam* param)
    : CPostClassAlgorithm(CopyRecordAs<CClassifyMergeParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"类别合并";
}

bool CClassifyMerge::Preproccess() {
    const CClassifyMergeParam& p = Param();
    if (!PreparePostClass(p.m_assistantFilePath))
        return false;
    // Names resolve through the record's class map, then through the
    // names of the assistant file just read.
    std::map<std::wstring, int> names = p.m_classMap;
    for (size_t v = 0; v < m_classes.size(); ++v)
        names.emplace(m_classes[v].name, static_cast<int>(v));
    m_lookup.resize(m_classes.size());
    for (size_t v = 0; v < m_lookup.size(); ++v)
        m_lookup[v] = static_cast<std::uint16_t>(v);
    for (const std::wstring& entry : p.m_mergeEntries) {
        std::wstring from, to;
        if (!SplitMergeEntry(entry, names, from, to)) {
            m_lookup.clear();
            return Fail(L"The merge rule '" + entry + L"' does not name two classes of the image.");
        }
        const int a = names[from], b = names[to];
        if (a < 0 || b < 0 || a >= static_cast<int>(m_lookup.size()) ||
            b >= static_cast<int>(m_lookup.size())) {
            m_lookup.clear();
            return Fail(L"The merge rule '" + entry + L"' names a class number outside the class table.");
        }
        m_lookup[a] = static_cast<std::uint16_t>(b); // rules are not chained: the input class decides
    }
    return true;
}

bool CClassifyMerge::Process() {
    if (!Preproccess())
        return false;
    std::string rules;
    for (size_t v = 0; v < m_lookup.size(); ++v)
        if (m_lookup[v] != v) {
            if (!rules.empty())
                rules += ',';
            rules += std::to_string(v);
            rules += '=';
            rules += std::to_string(m_lookup[v]);
        }
    return WriteMapped(
        m_lookup,
        {{"ALGORITHM", "Class merge"}, {"RULES", rules}, {"INPUT", CommonFun::U2M(Param().m_inputPath)}},
        L"Merging classes");
}

// ---- Sieve ----------------------------------------------------------------------

CClassifiedSieve::CClassifiedSieve(const AlgorithmParam* param)
    : CPostClassAlgorithm(CopyRecordAs<CClassifiedSieveParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"类别过滤";
}

bool CClassifiedSieve::Preproccess() {
    const CClassifiedSieveParam& p = Param();
    if (p.m_neighbourhood != 0 && p.m_neighbourhood != 1)
        return Fail(L"The neighbourhood must be 0 (4 neighbours) or 1 (8 neighbours), not " +
                    std::to_wstring(p.m_neighbourhood) + L".");
    return PreparePostClass(p.m_assistantFilePath) && ChosenClasses(p.m_classMap, m_chosen);
}

bool CClassifiedSieve::Process() {
    if (!Preproccess())
        return false;
    const CClassifiedSieveParam& p = Param();
    const std::uint32_t threshold = static_cast<std::uint32_t>(p.m_threshold);
    const bool eight = p.m_neighbourhood == 1;
    std::map<std::string, std::string> metadata{{"ALGORITHM", "Class sieve"},
                                                {"CLASSES", classList(m_chosen)},
                                                {"THRESHOLD", std::to_string(threshold)},
                                                {"CONNECTIVITY", eight ? "8" : "4"},
                                                {"INPUT", CommonFun::U2M(p.m_inputPath)}};
    if (threshold <= 1) { // every region has a pixel at least: nothing to remove
        std::vector<std::uint16_t> same(m_classes.size());
        for (size_t v = 0; v < same.size(); ++v)
            same[v] = static_cast<std::uint16_t>(v);
        return WriteMapped(same, metadata, L"Removing small regions");
    }
    // Each block is settled inside a window around it; a block whose small
    // regions reach beyond its window has the whole image run as one window.
    BlockProcessor blocks = Blocks(512);
    const RegionSieve sieve(eight, m_chosen, threshold);
    std::vector<RegionSieve::Scratch> scratch(blocks.WorkerCount());
    std::vector<RegionSieve::Counts> counts(blocks.WorkerCount());
    const int width = m_input->GetWidth(), height = m_input->GetHeight();
    const auto kernel = [&](const Window& w, std::uint16_t* labels, int worker) {
        RegionSieve::Window window;
        window.width = w.width, window.height = w.height, window.classes = w.values->data();
        window.coreX = w.coreX - w.x, window.coreY = w.coreY - w.y;
        window.coreWidth = w.coreWidth, window.coreHeight = w.coreHeight;
        window.openLeft = w.x > 0, window.openTop = w.y > 0;
        window.openRight = w.x + w.width < width, window.openBottom = w.y + w.height < height;
        return sieve.SieveCore(window, labels, counts[worker], scratch[worker]);
    };
    const auto withCounts = [&] {
        RegionSieve::Counts total;
        for (const RegionSieve::Counts& c : counts)
            total.smallBefore += c.smallBefore, total.smallAfter += c.smallAfter;
        auto all = metadata;
        all["SMALL_REGIONS"] = std::to_string(total.smallBefore);
        all["SMALL_REGIONS_LEFT"] = std::to_string(total.smallAfter);
        return all;
    };
    bool tooNarrow = false;
    if (WriteWithHalo(blocks, sieve.FirstHalo(), kernel, withCounts, L"Removing small regions", &tooNarrow))
        return true;
    if (!tooNarrow)
        return false;
    if (static_cast<long long>(width) * height > std::numeric_limits<std::int32_t>::max())
        return Fail(L"The small regions of this image reach too far to sieve it in windows, and it is too "
                    L"large to sieve whole.");
    CPLDebug("TESSERA", "sieve: small regions reach beyond a window's halo; the whole image is one window");
    std::fill(counts.begin(), counts.end(), RegionSieve::Counts());
    return WriteWithHalo(blocks, std::max(width, height), kernel, withCounts, L"Removing small regions");
}

// ---- Clump -----------------------------------------------------------------------

ClassifyClump::ClassifyClump(const AlgorithmParam* param)
    : CPostClassAlgorithm(CopyRecordAs<CClassifyClumpParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"类别聚类";
}

bool ClassifyClump::Preproccess() {
    const CClassifyClumpParam& p = Param();
    const int rows = p.m_elementRows, cols = p.m_elementColumns;
    if (rows < 1 || cols < 1 || rows > 99 || cols > 99)
        return Fail(L"The structuring element must have 1 to 99 rows and columns (got " +
                    std::to_wstring(rows) + L" × " + std::to_wstring(cols) + L").");
    if (static_cast<long long>(p.m_elementValues.size()) != static_cast<long long>(rows) * cols)
        return Fail(L"The structuring element holds " + std::to_wstring(p.m_elementValues.size()) +
                    L" values for " + std::to_wstring(rows) + L" × " + std::to_wstring(cols) + L" cells.");
    if (p.m_anchorColumn < 0 || p.m_anchorColumn >= cols || p.m_anchorRow < 0 || p.m_anchorRow >= rows)
        return Fail(L"The anchor of the structuring element lies outside it.");
    m_offsets.clear();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (p.m_elementValues[static_cast<size_t>(r) * cols + c] != 0.0)
                m_offsets.emplace_back(c - p.m_anchorColumn, r - p.m_anchorRow);
    return PreparePostClass(p.m_assistantFilePath) && ChosenClasses(p.m_classMap, m_chosen);
}

namespace {

struct ClumpScratch {
    std::vector<std::uint64_t> dilated; // per window pixel: bit k when the round's k-th class reaches it
    std::vector<std::uint16_t> bestClass;
    std::vector<int> bestCount;
    std::vector<std::uint16_t> present; // the chosen classes in the window, ascending
    std::vector<std::int8_t> bit;       // per class value: its bit in this round, -1 for none
};

} // namespace

bool ClassifyClump::Process() {
    if (!Preproccess())
        return false;
    const CClassifyClumpParam& p = Param();
    int reach = 0;
    for (const auto& [c, r] : m_offsets)
        reach = std::max({reach, std::abs(c), std::abs(r)});
    std::string element;
    for (double e : p.m_elementValues)
        element += e != 0.0 ? '1' : '0';
    const std::map<std::string, std::string> metadata{
        {"ALGORITHM", "Class clump"},
        {"CLASSES", classList(m_chosen)},
        {"ELEMENT",
         std::to_string(p.m_elementRows) + "x" + std::to_string(p.m_elementColumns) + ":" + element},
        {"ANCHOR", std::to_string(p.m_anchorColumn) + "," + std::to_string(p.m_anchorRow)},
        {"INPUT", CommonFun::U2M(p.m_inputPath)}};
    const std::vector<std::uint8_t>& chosen = m_chosen;
    const std::vector<std::pair<int, int>>& offsets = m_offsets;
    BlockProcessor blocks = Blocks();
    std::vector<ClumpScratch> scratch(blocks.WorkerCount());

    // Closing of each chosen class c: D = pixels p with p - d of class c for
    // some member offset d (dilation), then the pixels p with p + d in D for
    // every d (erosion). A pixel of a chosen class, or unclassified, keeps
    // its value; another pixel takes the class whose closing holds it, and
    // among several the one with most pixels at p - d, then the lowest.
    const auto kernel = [&](const Window& w, std::uint16_t* labels, int worker) {
        const std::vector<std::uint16_t>& v = *w.values;
        const int W = w.width, H = w.height, cw = w.coreWidth, ch = w.coreHeight;
        for (int r = 0; r < ch; ++r)
            for (int c = 0; c < cw; ++c)
                labels[r * cw + c] = w.At(w.coreX + c, w.coreY + r);
        if (offsets.empty())
            return true;
        ClumpScratch& s = scratch[worker];
        s.bit.assign(chosen.size(), -1);
        for (std::uint16_t x : v)
            if (x && chosen[x])
                s.bit[x] = 0;
        s.present.clear();
        for (size_t cls = 1; cls < chosen.size(); ++cls)
            if (s.bit[cls] == 0)
                s.present.push_back(static_cast<std::uint16_t>(cls)), s.bit[cls] = -1;
        s.bestClass.assign(static_cast<size_t>(cw) * ch, 0);
        s.bestCount.assign(static_cast<size_t>(cw) * ch, -1);
        // Up to 64 classes a round, one bit each: one dilation pass per round.
        for (size_t from = 0; from < s.present.size(); from += 64) {
            const size_t count = std::min<size_t>(64, s.present.size() - from);
            for (size_t k = 0; k < count; ++k)
                s.bit[s.present[from + k]] = static_cast<std::int8_t>(k);
            s.dilated.assign(static_cast<size_t>(W) * H, 0);
            for (const auto& [dcol, drow] : offsets)
                for (int row = std::max(0, -drow); row < std::min(H, H - drow); ++row) {
                    const std::uint16_t* source = v.data() + static_cast<size_t>(row) * W;
                    std::uint64_t* target = s.dilated.data() + static_cast<size_t>(row + drow) * W + dcol;
                    for (int col = std::max(0, -dcol); col < std::min(W, W - dcol); ++col)
                        if (const std::int8_t b = s.bit[source[col]]; b >= 0)
                            target[col] |= std::uint64_t{1} << b;
                }
            for (int r = 0; r < ch; ++r)
                for (int c = 0; c < cw; ++c) {
                    const int col = w.coreX - w.x + c, row = w.coreY - w.y + r;
                    const std::uint16_t own = v[static_cast<size_t>(row) * W + col];
                    if (!own || chosen[own])
                        continue;
                    std::uint64_t closed = ~std::uint64_t{0};
                    for (const auto& [dcol, drow] : offsets) {
                        const int qc = col + dcol, qr = row + drow;
                        closed &= qc < 0 || qr < 0 || qc >= W || qr >= H
                                      ? 0
                                      : s.dilated[static_cast<size_t>(qr) * W + qc];
                        if (!closed)
                            break;
                    }
                    const size_t k = static_cast<size_t>(r) * cw + c;
                    for (; closed; closed &= closed - 1) { // ascending classes: ties keep the lower
                        const std::uint16_t cls = s.present[from + std::countr_zero(closed)];
                        int hits = 0;
                        for (const auto& [dcol, drow] : offsets) {
                            const int qc = col - dcol, qr = row - drow;
                            hits += qc >= 0 && qr >= 0 && qc < W && qr < H &&
                                    v[static_cast<size_t>(qr) * W + qc] == cls;
                        }
                        if (hits > s.bestCount[k]) {
                            s.bestCount[k] = hits;
                            s.bestClass[k] = cls;
                        }
                    }
                }
            for (size_t k = 0; k < count; ++k)
                s.bit[s.present[from + k]] = -1;
        }
        for (size_t k = 0; k < s.bestClass.size(); ++k)
            if (s.bestClass[k])
                labels[k] = s.bestClass[k];
        return true;
    };
    // Dilation reaches `reach` from a pixel and erosion `reach` again.
    return WriteWithHalo(
        blocks, 2 * reach, kernel, [&] { return metadata; }, L"Clumping classes");
}
