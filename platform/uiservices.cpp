#include "platform/uiservices.h"

#include "platform/filefilter.h"
#include "platform/translation.h"
#include "platform/xdialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QUrl>

namespace {

QString toQ(const std::wstring& s) {
    return QString::fromStdWString(s);
}

// The real desktop: Qt's dialogs.
class QtUiServices final : public IUiServices {
public:
    int MessageBox(const MessageBoxRequest& r) override {
        QMessageBox box;
        box.setWindowTitle(toQ(r.caption.empty() ? DefaultMessageCaption() : r.caption));
        box.setText(toQ(r.text));
        switch (r.type & MB_ICONMASK) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        switch (r.type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Cancel:
            return IDCANCEL;
        default:
            return (r.type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
        case QMessageBox::Ok:
            return IDOK;
        }
    }

    FileDialogResult ChooseFile(const FileDialogRequest& r) override {
        const std::unique_ptr<QFileDialog> dialog = BuildFileChooser(r);
        FileDialogResult result;
        if (dialog->exec() != QDialog::Accepted)
            return result;
        const std::wstring layer = ChosenHostLayer(*dialog);
        if (!layer.empty())
            result.paths.push_back(layer);
        else
            for (const QString& f : dialog->selectedFiles())
                result.paths.push_back(f.toStdWString());
        result.filterIndex =
            std::max<qsizetype>(0, dialog->nameFilters().indexOf(dialog->selectedNameFilter())) + 1;
        result.accepted = !result.paths.empty();
        return result;
    }

    std::optional<COLORREF> ChooseColor(COLORREF initial, unsigned) override {
        const QColor c =
            QColorDialog::getColor(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)));
        if (!c.isValid())
            return std::nullopt;
        return RGB(c.red(), c.green(), c.blue());
    }

    int RunModal(XDialog& dialog) override { return dialog.exec(); }

    bool OpenHelpPage(int, int, const std::wstring& pagePath) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(toQ(pagePath)));
    }
};

QtUiServices g_qtServices;
IUiServices* g_services = &g_qtServices;

constexpr const char* kChosenLayer = "chosenHostLayer";

} // namespace

std::unique_ptr<QFileDialog> BuildFileChooser(const FileDialogRequest& r) {
    auto dialog = std::make_unique<QFileDialog>();
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(r.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (r.open)
        dialog->setFileMode((r.flags & OFN_ALLOWMULTISELECT) ? QFileDialog::ExistingFiles
                                                             : QFileDialog::ExistingFile);
    else
        dialog->setFileMode(QFileDialog::AnyFile);
    if (!(r.flags & OFN_OVERWRITEPROMPT))
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList nameFilters;
    for (const std::wstring& f : ToQtNameFilters(ParseFileFilter(r.filter)))
        nameFilters << toQ(f);
    if (!nameFilters.isEmpty())
        dialog->setNameFilters(nameFilters);
    QString suffix = toQ(r.defaultExtension);
    if (suffix.startsWith('.'))
        suffix.remove(0, 1);
    dialog->setDefaultSuffix(suffix);
    if (!r.fileName.empty())
        dialog->selectFile(toQ(r.fileName));
    // The non-native chooser lays itself out in a grid: the layers go in a row of their own below it.
    auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
    if (!r.hostLayers.empty() && grid) {
        auto* list = new QListWidget(dialog.get());
        list->setObjectName(QStringLiteral("hostLayers"));
        list->setMaximumHeight(90);
        for (const std::wstring& path : r.hostLayers) {
            auto* item = new QListWidgetItem(QFileInfo(toQ(path)).fileName(), list);
            item->setData(Qt::UserRole, toQ(path));
            item->setToolTip(toQ(path));
        }
        QFileDialog* chooser = dialog.get();
        QObject::connect(list, &QListWidget::itemActivated, chooser, [chooser](QListWidgetItem* item) {
            chooser->setProperty(kChosenLayer, item->data(Qt::UserRole));
            static_cast<QDialog*>(chooser)->done(QDialog::Accepted); // public as a QDialog slot
        });
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(Translate(QStringLiteral("已打开的图层:")), dialog.get()), row, 0);
        grid->addWidget(list, row, 1, 1, grid->columnCount() - 1);
    }
    return dialog;
}

std::wstring ChosenHostLayer(const QFileDialog& chooser) {
    return chooser.property(kChosenLayer).toString().toStdWString();
}

IUiServices& UiServices() {
    return *g_services;
}

IUiServices* SetUiServices(IUiServices* services) {
    IUiServices* previous = g_services;
    g_services = services ? services : &g_qtServices;
    return previous;
}

int XMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
    return UiServices().MessageBox({TranslateW(text), TranslateW(caption), type});
}

const std::wstring& DefaultMessageCaption() {
    static const std::wstring caption = L"Tessera";
    return caption;
}
