#include "progressui/progresswindow.h"

#include "platform/translation.h"
#include "platform/xdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
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

void ProgressWindow::SetTitle(const std::wstring& title) {
    // Task names are translated on the window's thread, like every text it shows.
    const QString text = QString::fromStdWString(title);
    QMetaObject::invokeMethod(
        this, [this, text] { setWindowTitle(Translate(text)); }, Qt::QueuedConnection);
}

void ProgressWindow::SetStep(const std::wstring& step) {
    const QString text = QString::fromStdWString(step);
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            // Once cancelling, the window says so until the task ends.
            if (!m_cancelRequested.load() && !m_finished)
                m_step->setText(Translate(text));
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
