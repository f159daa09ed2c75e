#include "progressui/progresswindow.h"

#include "platform/translation.h"
#include "platform/xdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);

    m_step = new QLabel(this);
    m_step->setMinimumWidth(360);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();
    m_cancel = new QPushButton(Translate(QStringLiteral("取消")), this);
    m_close = new QPushButton(Translate(QStringLiteral("关闭")), this);
    m_close->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_step);
    layout->addWidget(m_bar);
    layout->addWidget(m_message);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(m_cancel, &QPushButton::clicked, this, [this] { requestCancel(); });
    connect(m_close, &QPushButton::clicked, this, [this] { close(); });
}

ProgressWindow::~ProgressWindow() = default;

QString ProgressWindow::CancellingText() {
    return Translate(QStringLiteral("正在取消…"));
}

void ProgressWindow::Show(int mode) {
    // Mode 0 is the only layout so far; every mode shows it.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, mode] { Show(mode); }, Qt::QueuedConnection);
        return;
    }
    if (m_closed)
        return;
    m_shown = true;
    BringToFront(*this);
}

namespace {

// The engine names its tasks and steps in English, the command line's language; a task a
// window started shows them in the windows' language. With the English translation
// installed the engine's texts stay as it wrote them.
QString inWindowsLanguage(const QString& text) {
    static const QHash<QString, QString> chinese = {
        {QStringLiteral("Supervised classification: minimum distance"), QStringLiteral("最小距离分类")},
        {QStringLiteral("Supervised classification: maximum likelihood"), QStringLiteral("最大似然分类")},
        {QStringLiteral("Supervised classification: Mahalanobis distance"), QStringLiteral("马氏距离分类")},
        {QStringLiteral("Supervised classification: spectral angle"), QStringLiteral("光谱角分类")},
        {QStringLiteral("Supervised classification: parallelepiped"), QStringLiteral("平行六面体分类")},
        {QStringLiteral("Support vector machine classification"), QStringLiteral("支持向量机分类")},
        {QStringLiteral("BP neural network classification"), QStringLiteral("BP神经网络分类")},
        {QStringLiteral("Reading samples"), QStringLiteral("读取样本")},
        {QStringLiteral("Reading pixels"), QStringLiteral("读取像元")},
        {QStringLiteral("Reading training pixels"), QStringLiteral("读取训练像元")},
        {QStringLiteral("Reading the SVM model"), QStringLiteral("读取支持向量机模型")},
        {QStringLiteral("Clustering"), QStringLiteral("聚类")},
        {QStringLiteral("Classifying"), QStringLiteral("分类")},
        {QStringLiteral("Training"), QStringLiteral("训练")},
        {QStringLiteral("Training the support vector machine"), QStringLiteral("训练支持向量机")},
        {QStringLiteral("Training the network"), QStringLiteral("训练神经网络")},
        {QStringLiteral("Writing classes"), QStringLiteral("写出分类结果")},
        {QStringLiteral("Writing the file"), QStringLiteral("写出文件")},
        {QStringLiteral("Finding regions"), QStringLiteral("查找区域")},
        {QStringLiteral("Merging small regions"), QStringLiteral("合并小区域")},
        {QStringLiteral("Tracing polygons"), QStringLiteral("追踪多边形")},
    };
    if (CurrentLanguage() == QLatin1String("en"))
        return Translate(text); // a window's own (Chinese) task name; the engine's English as it is
    return chinese.value(text, Translate(text));
}

} // namespace

void ProgressWindow::SetTitle(const std::wstring& title) {
    // Task names are translated on the window's thread, like every text it shows.
    const QString text = QString::fromStdWString(title);
    QMetaObject::invokeMethod(
        this, [this, text] { setWindowTitle(inWindowsLanguage(text)); }, Qt::QueuedConnection);
}

void ProgressWindow::SetStep(const std::wstring& step) {
    const QString text = QString::fromStdWString(step);
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            // Once cancelling, the window says so until the task ends.
            if (!m_cancelRequested.load() && !m_finished)
                m_step->setText(inWindowsLanguage(text));
        },
        Qt::QueuedConnection);
}

void ProgressWindow::SetPercent(double percent) {
    m_pendingPercent.store(percent);
    if (!m_percentPosted.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { applyPercent(); }, Qt::QueuedConnection);
}

void ProgressWindow::applyPercent() {
    m_percentPosted.store(false);
    if (m_finished)
        return;
    const double percent = m_pendingPercent.load();
    const int value =
        std::isfinite(percent) ? static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0))) : 0;
    m_bar->setValue(value);
}

void ProgressWindow::Finish(bool success, const std::wstring& message) {
    // The task's last call: after posting, it never touches the object again.
    const QString text = QString::fromStdWString(message);
    QMetaObject::invokeMethod(
        this, [this, success, text] { applyFinish(success, text); }, Qt::QueuedConnection);
}

void ProgressWindow::applyFinish(bool success, const QString& message) {
    if (m_finished)
        return;
    m_finished = true;
    m_cancel->hide();
    if (!m_shown) {
        // Never shown: there is no window for the user to close.
        m_closed = true;
        releaseWhenDone();
        return;
    }
    if (success) {
        m_bar->setValue(100);
        if (m_autoClose.load()) {
            close();
            return;
        }
        m_close->show();
        m_close->setDefault(true);
        return;
    }
    if (message.isEmpty()) {
        // Cancelled: nothing to report.
        close();
        return;
    }
    m_message->setText(message);
    m_message->show();
    m_close->show();
    m_close->setDefault(true);
}

void ProgressWindow::requestCancel() {
    if (m_finished || m_cancelRequested.exchange(true))
        return;
    m_step->setText(CancellingText());
    m_cancel->setEnabled(false);
}

int ProgressWindow::Percent() const {
    return m_bar->value();
}

QString ProgressWindow::StepText() const {
    return m_step->text();
}

QString ProgressWindow::MessageText() const {
    return m_message->isHidden() ? QString() : m_message->text();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (!m_finished) {
        // The task still runs and may call the window: closing asks it to
        // stop, and the window goes once the task has ended.
        event->ignore();
        requestCancel();
        return;
    }
    event->accept();
    m_closed = true;
    releaseWhenDone();
}

void ProgressWindow::reject() {
    close();
}

void ProgressWindow::releaseWhenDone() {
    if (m_finished && m_closed && !m_releasing) {
        m_releasing = true;
        deleteLater();
    }
}
