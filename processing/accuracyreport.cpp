#include "processing/accuracyreport.h"

#include "base/commonfun.h"
#include "engine/formatio.h"

#include <cwchar>
#include <sstream>
#include <stdexcept>

namespace tessera {

ErrorMatrix::ErrorMatrix(int classCount)
    : m_n(classCount > 0 ? classCount : 0), m_counts(static_cast<size_t>(m_n) * static_cast<size_t>(m_n), 0) {
}

bool ErrorMatrix::Add(int reference, int classified, std::int64_t count) {
    if (reference < 0 || reference >= m_n || classified < 0 || classified >= m_n)
        return false;
    m_counts[index(reference, classified)] += count;
    return true;
}

void ErrorMatrix::Merge(const ErrorMatrix& other) {
    if (other.m_n != m_n)
        throw std::invalid_argument("error matrices of different sizes");
    for (size_t i = 0; i < m_counts.size(); ++i)
        m_counts[i] += other.m_counts[i];
}

ErrorMatrix BuildErrorMatrix(const std::vector<AccuracyPoint>& points, int classCount) {
    ErrorMatrix matrix(classCount);
    for (const AccuracyPoint& p : points)
        matrix.Add(p.referenceValue, p.classValue);
    return matrix;
}

namespace {

// Products of counts exceed 64 bits only for matrices of more than 3e9
// points per cell; 128-bit integers keep every product exact.
using Wide = __int128;

double ratio(Wide numerator, Wide denominator) {
    return static_cast<double>(numerator) / static_cast<double>(denominator);
}

} // namespace

AccuracySummary SummarizeErrorMatrix(const ErrorMatrix& m) {
    const int n = m.ClassCount();
    AccuracySummary s;
    s.classes.resize(n);
    for (int i = 0; i < n; ++i) {
        ClassAccuracy& c = s.classes[i];
        for (int j = 0; j < n; ++j) {
            c.referenceTotal += m.At(i, j);
            c.classifiedTotal += m.At(j, i);
        }
        c.correct = m.At(i, i);
        s.counted += c.classifiedTotal;
        s.totalCorrect += c.correct;
    }
    Wide chance = 0;
    for (ClassAccuracy& c : s.classes) {
        const Wide a = c.referenceTotal, b = c.classifiedTotal, k = c.correct, total = s.counted;
        c.producers = a == 0 ? -1.0 : static_cast<double>(k) / static_cast<double>(a) * 100.0;
        c.users = b == 0 ? -1.0 : static_cast<double>(k) / static_cast<double>(b) * 100.0;
        const Wide denominator = (total - a) * b;
        c.conditionalKappa = denominator == 0 ? 0.0 : ratio(total * k - a * b, denominator);
        chance += a * b;
    }
    s.chanceProducts = static_cast<double>(chance);
    const Wide total = s.counted;
    s.overallAccuracy =
        total == 0 ? -1.0 : static_cast<double>(s.totalCorrect) / static_cast<double>(s.counted) * 100.0;
    const Wide denominator = total * total - chance;
    s.kappa = denominator == 0 ? 0.0 : ratio(total * s.totalCorrect - chance, denominator);
    return s;
}

std::wstring FormatAccuracyReport(const ErrorMatrix& matrix, const AccuracySummary& summary,
                                  const std::vector<std::wstring>& names, const ReportSections& sections,
                                  const std::locale& locale) {
    const int n = matrix.ClassCount();
    auto name = [&](int i) { return i < static_cast<int>(names.size()) ? names[i] : std::wstring(); };
    auto blanks = [](int count) { return std::wstring(count, L' '); };
    std::wostringstream out;
    out.imbue(locale); // numeric punctuation; default float format = %g, 6 digits
    const wchar_t* eol = L"\r\n";

    if (sections.errorMatrix) {
        out << L"-------------------------------Error Matrix-----------------------------" << eol;
        out << L"\t\t\t\tReference Data" << eol;
        out << L"\t\t\t\t--------------" << eol;
        out << L"Classified Data        ";
        for (int j = 0; j < n; ++j)
            out << name(j) << blanks(12);
        out << eol;
        out << L"---------------        ";
        for (int j = 0; j < n; ++j)
            out << L"-----------" << blanks(7);
        out << eol;
        // A row is a classified class, a column a reference class.
        for (int i = 0; i < n; ++i) {
            out << name(i) << blanks(17);
            for (int j = 0; j < n; ++j)
                out << static_cast<long long>(matrix.At(j, i)) << blanks(19);
            out << eol;
        }
        out << L"-------------------------------Error Matrix end-------------------------" << eol;
    }

    if (sections.overallAccuracy) {
        out << eol << eol << eol;
        out << L"-------------------------------ACCURACY -------------------------" << eol;
        out << L"ACCURACY TOTALS" << eol;
        out << L"----------------" << eol;
        out << L"Class Name       " << L"Reference Total     " << L"Classified Total     "
            << L"Number  Correct     " << L"Producers  Accuracy     " << L" Users Accuracy" << eol;
        out << L"-----------      " << L"---------------     " << L"----------------     "
            << L"---------------     " << L"-------------------     " << L" --------------" << eol;
        for (int i = 0; i < n; ++i) {
            const ClassAccuracy& c = summary.classes[i];
            out << name(i) << blanks(13) << static_cast<long long>(c.referenceTotal) << blanks(19)
                << static_cast<long long>(c.classifiedTotal) << blanks(22)
                << static_cast<long long>(c.correct) << blanks(22) << c.producers << L"%" << blanks(20)
                << c.users << L"%" << blanks(19) << eol;
        }
        out << L"Overall Classification Accuracy =     " << summary.overallAccuracy << L"%" << eol;
        out << L"-------------------------------ACCURACY END---------------------" << eol;
    }

    if (sections.kappa) {
        out << eol << eol << eol;
        out << L"-------------------------KAPPA (K^) STATISTICS-----------------" << eol;
        out << L"KAPPA (K^) STATISTICS" << eol;
        out << L"---------------------" << eol;
        out << L"Overall Kappa Statistics =     " << summary.kappa << eol;
        out << L"Conditional Kappa for each Category." << eol;
        out << L"------------------------------------" << eol;
        out << L" Class Name " << blanks(13) << L"  Kappa  " << eol;
        out << L"------------" << blanks(13) << L"---------" << eol;
        for (int i = 0; i < n; ++i)
            out << name(i) << blanks(22) << summary.classes[i].conditionalKappa << eol;
        out << L"---------------------KAPPA (K^) STATISTICS END-----------------" << eol;
    }
    return out.str();
}

std::locale UserLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::string EncodeForLocale(const std::wstring& text, const std::locale& locale) {
    const std::string localeName = locale.name();
    if (localeName == "C" || localeName == "POSIX")
        return CommonFun::U2M(text);
    using Codecvt = std::codecvt<wchar_t, char, std::mbstate_t>;
    const Codecvt& cvt = std::use_facet<Codecvt>(locale);
    std::string bytes;
    bytes.reserve(text.size());
    std::mbstate_t state{};
    char buffer[16];
    for (const wchar_t ch : text) {
        const wchar_t* fromNext = nullptr;
        char* toNext = nullptr;
        const std::mbstate_t saved = state;
        const auto result = cvt.out(state, &ch, &ch + 1, fromNext, buffer, buffer + sizeof buffer, toNext);
        if (result == Codecvt::ok || result == Codecvt::noconv) {
            if (result == Codecvt::noconv)
                bytes.push_back(static_cast<char>(ch));
            else
                bytes.append(buffer, toNext);
        } else {
            state = saved;
            bytes.push_back('?');
        }
    }
    return bytes;
}

ReportWriteResult WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    std::string error;
    formatio::ReplaceFailure failure = formatio::ReplaceFailure::None;
    if (formatio::ReplaceFile(CommonFun::U2M(path), bytes, error, &failure))
        return ReportWriteResult::Written;
    return failure == formatio::ReplaceFailure::NotCreated ? ReportWriteResult::OpenFailed
                                                           : ReportWriteResult::WriteFailed;
}

ReportWriteResult WriteAccuracyReportFile(const ErrorMatrix* matrix, const std::vector<std::wstring>& names,
                                          const std::wstring& path, const ReportSections& sections,
                                          const std::locale& locale) {
    if (!matrix || path.empty())
        return ReportWriteResult::BadArguments;
    // The quantities are computed whether or not their sections are written.
    const AccuracySummary summary = SummarizeErrorMatrix(*matrix);
    const std::wstring text = FormatAccuracyReport(*matrix, summary, names, sections, locale);
    return WriteFileAtomically(path, EncodeForLocale(text, locale));
}

} // namespace tessera
