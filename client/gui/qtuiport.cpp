#include "client/gui/qtuiport.h"

#include "client/gui/autodetectdlg.h"
#include "client/gui/batcherrdlg.h"
#include "client/gui/cliview.h"
#include "client/gui/codepropdlg.h"
#include "client/gui/codetypedlg.h"
#include "client/gui/filedlg.h"
#include "client/gui/uitexts.h"
#include "client/gui/mainfrm.h"
#include "client/gui/proccodeerrdlg.h"
#include "client/gui/proxyauthdlg.h"
#include "client/gui/scanerrdlg.h"
#include "client/gui/scodeview.h"
#include "client/uitextids.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <condition_variable>
#include <utility>
#include <mutex>

// What a waiting send and the port share; it outlives the port while a
// worker still waits on it.
struct CQtUiPort::Pending {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
};

CQtUiPort::CQtUiPort(const CLanguageMgr& language, QObject* parent)
    : QObject(parent), m_language(language), m_pending(std::make_shared<Pending>())
{
}

CQtUiPort::~CQtUiPort()
{
    Close();
}

void CQtUiPort::SetFrame(CMainFrame* frame)
{
    m_frame = frame;
}

void CQtUiPort::SetList(CScListCtrl* list)
{
    m_list = list;
}

void CQtUiPort::Close()
{
    m_closed = true;
    const std::lock_guard lock(m_pending->mutex);
    m_pending->closed = true;
    m_pending->changed.notify_all();
}

void CQtUiPort::Handle(const CViewMessage& message)
{
    if (!m_closed && m_handler)
        m_handler(message);
}

void CQtUiPort::PostViewMessage(CViewMessage message)
{
    if (m_closed)
        return;
    QMetaObject::invokeMethod(
        this, [this, message = std::move(message)] { Handle(message); }, Qt::QueuedConnection);
}

void CQtUiPort::SendViewMessage(CViewMessage message)
{
    // On the main thread there is nobody to wait for: handle it here.
    if (QThread::currentThread() == thread()) {
        Handle(message);
        return;
    }
    if (m_closed)
        return;
    const std::shared_ptr<Pending> pending = m_pending;
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        this,
        [this, pending, done, message = std::move(message)] {
            Handle(message);
            const std::lock_guard lock(pending->mutex);
            *done = true;
            pending->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    pending->changed.wait(lock, [&] { return *done || pending->closed; });
}

QWidget* CQtUiPort::DialogParent() const
{
    return m_frame ? static_cast<QWidget*>(m_frame.data()) : QApplication::activeWindow();
}

CMessageBoxResult CQtUiPort::ShowMessageBox(const CMessageBoxRequest& request)
{
    if (m_messageBoxSeam)
        return m_messageBoxSeam(request);
    using Kind = CMessageBoxRequest::Kind;
    using Buttons = CMessageBoxRequest::Buttons;
    const QMessageBox::Icon icon = request.kind == Kind::kError      ? QMessageBox::Critical
                                   : request.kind == Kind::kWarning  ? QMessageBox::Warning
                                   : request.kind == Kind::kQuestion ? QMessageBox::Question
                                                                     : QMessageBox::Information;
    const QMessageBox::StandardButtons buttons =
        request.buttons == Buttons::kOkCancel ? QMessageBox::Ok | QMessageBox::Cancel
        : request.buttons == Buttons::kYesNo  ? QMessageBox::Yes | QMessageBox::No
                                              : QMessageBox::Ok;
    const QString caption =
        request.caption.empty() ? UiText(m_language, kStrAppTitle) : ToQString(request.caption);
    QMessageBox box(icon, caption, ToQString(request.text), buttons, DialogParent());
    box.setObjectName(QStringLiteral("messageBox"));
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return CMessageBoxResult::kCancel;
    case QMessageBox::Yes:
        return CMessageBoxResult::kYes;
    case QMessageBox::No:
        return CMessageBoxResult::kNo;
    default:
        return request.buttons == Buttons::kYesNo ? CMessageBoxResult::kNo : CMessageBoxResult::kOk;
    }
}

VTBatchCodeListener::Decision CQtUiPort::AskBatchError(const std::string& text)
{
    CBatchErrorDlg dialog(m_language, text, DialogParent());
    return dialog.Ask();
}

void CQtUiPort::ShowProcessCodeError(const std::string& text)
{
    CProcessCodeErrorDlg dialog(m_language, text, DialogParent());
    dialog.exec();
}

bool CQtUiPort::AskProxyCredentials(std::string& user, std::string& password)
{
    CProxyAuthDlg dialog(m_language, DialogParent());
    return dialog.Ask(user, password);
}

std::optional<VTCodeType> CQtUiPort::ChooseCodeType(const std::string& code,
                                                    const std::vector<VTCodeType>& candidates)
{
    std::vector<int> types(candidates.begin(), candidates.end());
    CCodeTypeChoiceDlg dialog(m_language, code, std::move(types), DialogParent());
    const std::optional<int> chosen = dialog.Ask();
    if (!chosen)
        return std::nullopt;
    return static_cast<VTCodeType>(*chosen);
}

void CQtUiPort::ShowScannerError(const std::string& text)
{
    CScannerErrorDlg dialog(m_language, text, DialogParent());
    dialog.exec();
}

void CQtUiPort::ShowCodeProperties(const CStoredCode& code)
{
    CCodePropDlg dialog(m_language, code, DialogParent());
    dialog.exec();
}

bool CQtUiPort::ShowAutoDetectInstructions(const std::string& text)
{
    CScanAutoDetectInstructDlg dialog(m_language, DialogParent());
    return dialog.ShowInstructions(text);
}

std::optional<CFileAnswer> CQtUiPort::AskFileName(const CFileRequest& request)
{
    if (m_presetFile) {
        CFileAnswer answer;
        answer.path = *std::exchange(m_presetFile, std::nullopt);
        return answer;
    }
    return AskFileWithDialog(request, DialogParent());
}

bool CQtUiPort::RunFirstRunWizard()
{
    return m_wizard && m_wizard();
}

void CQtUiPort::RegistrationProgress(std::int32_t position, std::int32_t range)
{
    if (m_registrationProgress)
        m_registrationProgress(position, range);
}

void CQtUiPort::RegistrationEnded(bool attached, const std::string& failure)
{
    // The sink may replace itself.
    if (RegistrationEndSink ended = m_registrationEnded)
        ended(attached, failure);
}

void CQtUiPort::DeliverPendingMessages()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CQtUiPort::ViewStateChanged(CDocState state, bool controlsEnabled)
{
    if (m_frame)
        m_frame->ViewStateChanged(state, controlsEnabled);
}

void CQtUiPort::SetStatusText(const std::string& text)
{
    if (m_frame)
        m_frame->SetStatusText(ToQString(text));
}

void CQtUiPort::SetProgress(std::int32_t position, std::int32_t range)
{
    if (m_frame)
        m_frame->SetProgress(position, range);
}

void CQtUiPort::SelectEntryText()
{
    if (m_frame)
        m_frame->View()->SelectEntryText();
}

void CQtUiPort::ShowStoredCode(unsigned) {}

void CQtUiPort::ShowWindowFromTray()
{
    if (m_frame)
        m_frame->ShowFromTray();
}

void CQtUiPort::BringToForeground()
{
    if (m_frame)
        m_frame->BringToFront();
}

void CQtUiPort::Beep()
{
    QApplication::beep();
}

void CQtUiPort::TrayMessage(const std::string& text)
{
    if (m_frame)
        m_frame->TrayMessage(ToQString(text));
}
