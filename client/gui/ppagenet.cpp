#include "client/gui/ppagenet.h"

#include "client/clidoc.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLineEdit* Field(QWidget* parent, const char* name, std::size_t limit)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setMaxLength(static_cast<int>(limit));
    return field;
}

} // namespace

// Proxy ---------------------------------------------------------------------------

CPPageProxy::CPPageProxy(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::Proxy, logic, parent), m_direct(new QRadioButton(this)),
      m_viaProxy(new QRadioButton(this)), m_addressLabel(new QLabel(this)),
      m_address(Field(this, "proxyAddress", kMaxProxyAddress)), m_portLabel(new QLabel(this)),
      m_port(Field(this, "proxyPort", kMaxProxyPort)), m_detect(new QPushButton(this))
{
    m_direct->setObjectName(QStringLiteral("direct"));
    m_viaProxy->setObjectName(QStringLiteral("viaProxy"));
    m_detect->setObjectName(QStringLiteral("detectButton"));
    m_addressLabel->setBuddy(m_address);
    m_portLabel->setBuddy(m_port);
    auto* form = new QFormLayout;
    form->setContentsMargins(20, 0, 0, 0);
    form->addRow(m_addressLabel, m_address);
    form->addRow(m_portLabel, m_port);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_detect);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_direct);
    layout->addWidget(m_viaProxy);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();
    connect(m_viaProxy, &QRadioButton::toggled, this, &CPPageProxy::Choose);
    connect(m_address, &QLineEdit::textEdited, this,
            [this](const QString& text) { Settings().proxyAddr = FromQString(text); });
    connect(m_port, &QLineEdit::textEdited, this,
            [this](const QString& text) { Settings().proxyPort = FromQString(text); });
    // The desktop's settings and the environment can always be read here.
    connect(m_detect, &QPushButton::clicked, this, &CPPageProxy::Detect);
}

void CPPageProxy::Load()
{
    const QSignalBlocker radio(m_viaProxy);
    const bool viaProxy = Settings().useProxy != 0;
    m_viaProxy->setChecked(viaProxy);
    m_direct->setChecked(!viaProxy);
    m_address->setText(ToQString(Settings().proxyAddr));
    m_port->setText(ToQString(Settings().proxyPort));
    m_address->setEnabled(viaProxy);
    m_port->setEnabled(viaProxy);
}

void CPPageProxy::Choose()
{
    Settings().useProxy = m_viaProxy->isChecked() ? 1 : 0;
    m_address->setEnabled(m_viaProxy->isChecked());
    m_port->setEnabled(m_viaProxy->isChecked());
}

void CPPageProxy::Detect()
{
    Logic().DetectSystemProxy();
    Load();
}

void CPPageProxy::Retranslate()
{
    ApplyDialogTexts(*this, Texts(),
                     {{kCtlDirect, m_direct},
                      {kCtlViaProxy, m_viaProxy},
                      {kCtlProxyAddress, m_addressLabel},
                      {kCtlProxyPort, m_portLabel},
                      {kCtlProxyDetect, m_detect}});
}

QWidget* CPPageProxy::FieldWidget(CPageField field)
{
    if (field == CPageField::ProxyAddress)
        return m_address;
    if (field == CPageField::ProxyPort)
        return m_port;
    return nullptr;
}

// Registration ----------------------------------------------------------------------

CPPageInstallUserIDPassword::CPPageInstallUserIDPassword(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::Registration, logic, parent), m_intro(new QLabel(this)),
      m_userLabel(new QLabel(this)), m_user(Field(this, "userId", kMaxUserId)),
      m_passwordLabel(new QLabel(this)), m_password(Field(this, "password", kMaxPassword)),
      m_newUser(new QPushButton(this)), m_forgot(new QPushButton(this))
{
    m_intro->setWordWrap(true);
    m_password->setEchoMode(QLineEdit::Password);
    m_newUser->setObjectName(QStringLiteral("newUserButton"));
    m_forgot->setObjectName(QStringLiteral("forgotButton"));
    m_userLabel->setBuddy(m_user);
    m_passwordLabel->setBuddy(m_password);
    auto* form = new QFormLayout;
    form->addRow(m_userLabel, m_user);
    form->addRow(m_passwordLabel, m_password);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_newUser);
    buttons->addWidget(m_forgot);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_intro);
    layout->addSpacing(8);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();
    connect(m_newUser, &QPushButton::clicked, this, [this] { Logic().Doc().OpenServerPage("REGISTER"); });
    connect(m_forgot, &QPushButton::clicked, this, [this] { Logic().Doc().OpenServerPage("LOSTPWD"); });
}

void CPPageInstallUserIDPassword::Retranslate()
{
    ApplyDialogTexts(*this, Texts(),
                     {{kCtlUserId, m_userLabel},
                      {kCtlPassword, m_passwordLabel},
                      {kCtlNewUser, m_newUser},
                      {kCtlForgot, m_forgot}});
    m_intro->setText(Text(kStrRegistrationIntro));
}

bool CPPageInstallUserIDPassword::Leave()
{
    return Focus(Logic().CheckAccount(UserId(), Password()));
}

std::string CPPageInstallUserIDPassword::UserId() const
{
    return FromQString(m_user->text());
}

std::string CPPageInstallUserIDPassword::Password() const
{
    return FromQString(m_password->text());
}

void CPPageInstallUserIDPassword::FocusPassword()
{
    m_password->selectAll();
    m_password->setFocus(Qt::OtherFocusReason);
}

QWidget* CPPageInstallUserIDPassword::FieldWidget(CPageField field)
{
    if (field == CPageField::UserId)
        return m_user;
    if (field == CPageField::Password)
        return m_password;
    return nullptr;
}
