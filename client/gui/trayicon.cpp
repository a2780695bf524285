#include "client/gui/trayicon.h"

#include "client/gui/commandset.h"
#include "client/gui/guiicons.h"
#include "client/gui/uitexts.h"
#include "client/uitextids.h"

#include <QAction>
#include <QMenu>

namespace {

std::function<bool()>& AvailabilityProbe()
{
    static std::function<bool()> probe = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return probe;
}

} // namespace

CTrayIcon::CTrayIcon(const CLanguageMgr& language, QObject* parent)
    : QObject(parent), m_language(language), m_commands(new CCommandSet(this)), m_menu(new QMenu),
      m_icon(new QSystemTrayIcon(this))
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_icon->setObjectName(QStringLiteral("trayIcon"));
    m_icon->setContextMenu(m_menu);
    // The program's own icon until the customisation gives one.
    m_icon->setIcon(MediaIcon(ProgramResource(CCustomMedia::Kind::Icon, CCustomization::kIconTrayGood)));
    connect(m_commands, &CCommandSet::Triggered, this, &CTrayIcon::Command);
    connect(m_icon, &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
    Retranslate();
}

CTrayIcon::~CTrayIcon()
{
    delete m_menu;
}

bool CTrayIcon::Available()
{
    return AvailabilityProbe()();
}

void CTrayIcon::SetAvailability(std::function<bool()> available)
{
    AvailabilityProbe() = std::move(available);
}

void CTrayIcon::SetIcon(const QIcon& icon)
{
    m_icon->setIcon(icon);
}

void CTrayIcon::Show()
{
    m_icon->show();
}

void CTrayIcon::Hide()
{
    m_icon->hide();
}

bool CTrayIcon::IsShown() const
{
    return m_icon->isVisible();
}

void CTrayIcon::ShowMessage(const QString& text)
{
    m_icon->showMessage(UiText(m_language, kStrAppTitle), text, QSystemTrayIcon::Information);
}

void CTrayIcon::Retranslate()
{
    const std::vector<CMenuItem> popups = m_language.LoadMenu(kMenuTray);
    m_commands->FillMenu(*m_menu, popups.empty() ? std::vector<CMenuItem>{} : popups.front().children);
    const QList<QAction*> items = m_menu->actions();
    if (kDefaultItem < items.size())
        m_menu->setDefaultAction(items[kDefaultItem]);
    m_icon->setToolTip(UiText(m_language, kStrAppTitle));
}

int CTrayIcon::DefaultCommand() const
{
    const QAction* item = m_menu->defaultAction();
    return item ? item->data().toInt() : 0;
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        Q_EMIT Command(DefaultCommand());
}
