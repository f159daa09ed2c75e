#pragma once
// Classification vectorize window (template 6009): the classified image and
// its ".acf" classes, the output vector file, and the classes to vectorize,
// moved between two lists. OK fills a CRasterPolygonizeParam, starts
// CRasterPolygonize on a thread of its own with a progress window and
// closes. The window reads no pixel; the record and the list moves are the
// plain functions below.

#include "engine/classifiedassistantfile.h"
#include "platform/xdialog.h"
#include "processing/polygonize.h"

#include <map>
#include <string>
#include <vector>

class IControlerInterface;
class XListBox;

namespace VectorizeSetup {

// The text with its leading white space removed.
std::wstring TrimLeading(const std::wstring& text);

// ">": the texts (leading white space removed) of the selected input
// entries, in their order, that the chosen list does not yet hold (compared
// with leading white space removed, exactly); each text at most once.
std::vector<std::wstring> TextsToAdd(const std::vector<std::wstring>& chosen,
                                     const std::vector<std::wstring>& selected);

// The class map from the chosen texts: for each text (leading white space
// removed), every class of the assistant file with exactly that name sets
// map[text] to its class number, in file order; texts naming no class are
// skipped.
std::map<std::wstring, int> BuildClassMap(const std::vector<std::wstring>& chosen,
                                          const CClassifiedAssistantFile& acf);

// The record OK hands on: paths, the shape-file flag from the output's
// extension, the host and the class map; the partial-class flag when the
// map's size differs from the file's class count; the trailing integer 0.
CRasterPolygonizeParam BuildPolygonizeRecord(const std::wstring& inputPath, const std::wstring& outputPath,
                                             const std::map<std::wstring, int>& classMap, int classCount,
                                             IControlerInterface* host);

// Where a sorted list box puts a text: after every entry that compares less
// or equal, ignoring case (the toolkit's rule for sorted lists).
int SortedPosition(const XListBox& list, const std::wstring& text);

} // namespace VectorizeSetup

class CClassifyVectorizeDlg : public XDialog {
public:
    enum { IDD = 6009 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_OUTPUT_LIST = 1003,
        IDC_OUTPUT_BROWSE = 1004,
        IDC_INPUT_CLASSES = 1005,
        IDC_ADD_SELECTED = 1006,
        IDC_ADD_ALL = 1007,
        IDC_REMOVE_SELECTED = 1008,
        IDC_REMOVE_ALL = 1009,
        IDC_CHOSEN_CLASSES = 1010,
        IDC_HELP_BUTTON = 1011,
    };

    explicit CClassifyVectorizeDlg(IControlerInterface* host);

    const CClassifiedAssistantFile& AssistantFile() const { return m_assistantFile; }
    const std::map<std::wstring, int>& ClassMap() const { return m_classMap; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedInputBrowse();
    void OnBnClickedOutputBrowse();
    void OnBnClickedAddSelected();
    void OnBnClickedAddAll();
    void OnBnClickedRemoveSelected();
    void OnBnClickedRemoveAll();
    void OnBnClickedHelp();
    // Adds a text to a list that shows its entries sorted by name.
    static void AddSorted(XListBox* list, const std::wstring& text);
    static std::vector<std::wstring> Texts(const XListBox* list);

    IControlerInterface* m_host;
    CClassifiedAssistantFile m_assistantFile;
    std::map<std::wstring, int> m_classMap;
};
