#pragma once
// Class merge window (template 6011): the input classified image, its
// classes, merge rules "input class+output class", the output image. OK
// hands the rules to CClassifyMerge on a thread of its own and closes.

#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "platform/xdialog.h"
#include "processing/postclassify.h"

#include <memory>
#include <string>

class IControlerInterface;

class CClassesMergeDlg : public XDialog {
public:
    enum { IDD = 6011 };
    enum : int {
        IDC_INPUT_LIST = 1001,
        IDC_INPUT_BROWSE = 1002,
        IDC_OUTPUT_LIST = 1003,
        IDC_OUTPUT_BROWSE = 1004,
        IDC_INPUT_CLASSES = 1005,
        IDC_OUTPUT_CLASSES = 1006,
        IDC_INPUT_CLASS_NAME = 1007,
        IDC_OUTPUT_CLASS_NAME = 1008,
        IDC_ADD_MERGE = 1009,
        IDC_MERGE_LIST = 1010,
        IDC_HELP_BUTTON = 1011,
    };

    explicit CClassesMergeDlg(IControlerInterface* host);

    const CClassifyMergeParam& Record() const { return m_record; }
    const std::wstring& OutputWord() const { return m_outputWord; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnBnClickedInputBrowse();
    void OnBnClickedOutputBrowse();
    void OnSelChangeInputClasses();
    void OnSelChangeOutputClasses();
    void OnBnClickedAddMerge();
    void OnBnClickedHelp();

    IControlerInterface* m_host;
    std::unique_ptr<CRasterSource> m_raster;
    CClassifiedAssistantFile m_assistant;
    std::wstring m_outputWord;
    CClassifyMergeParam m_record;
};
