#pragma once
// Class statistics window (template 6010, menu 6020): for a classified image,
// one table row per class of its ".acf" with the class number, the name, the
// pixel count, the share of all pixels, the ground area and the area unit.
// The image itself is opened only for the name of its ground unit. The rows
// are computed and formatted by the plain functions of
// processing/classstatistics.h, which `tessera stats` shares.

#include "engine/classifiedassistantfile.h"
#include "platform/xdialog.h"
#include "processing/classstatistics.h"

#include <memory>
#include <string>
#include <vector>

class CGridCtrl;
class CRasterSource;

// The table's cell texts for the statistics of an ".acf" and a unit name.
std::vector<tessera::StatisticsRowTexts> ClassStatisticsRows(const CClassifiedAssistantFile& acf,
                                                             const std::wstring& unitName);

class CClassesStaticsDlg : public XDialog {
public:
    enum { IDD = 6010, IDR_MENU = 6020 };
    enum : int {
        IDC_TABLE_PLACEHOLDER = 6074,
        ID_FILE_OPEN_CLASSIFIED = 32771,
        ID_FILE_EXIT = 32772,
        ID_STATISTICS_HELP = 32773,
    };
    // Table layout.
    static constexpr int kColumnCount = 6;
    static constexpr int kColumnWidth = 100;
    static constexpr int kRowHeight = 25;

    CClassesStaticsDlg();
    ~CClassesStaticsDlg() override;

    // State, as the commands leave it.
    const std::wstring& ImagePath() const { return m_imagePath; }
    const std::wstring& UnitName() const { return m_unitName; }
    bool IsLoaded() const { return m_loaded; }
    const CRasterSource* Image() const { return m_image.get(); }
    const CClassifiedAssistantFile& AssistantFile() const { return m_assistantFile; }
    CGridCtrl* Table() const { return m_table; }

protected:
    bool OnInitDialog() override;

private:
    void OnFileOpen();
    void OnFileExit();
    void OnHelp();
    // Removes every row and sets up the header row again.
    void ResetTable();
    void FillTable();

    std::wstring m_imagePath;
    std::unique_ptr<CRasterSource> m_image;
    CClassifiedAssistantFile m_assistantFile;
    std::wstring m_unitName = tessera::kUnknownUnitName;
    bool m_loaded = false;
    CGridCtrl* m_table = nullptr; // a child of the window
};
