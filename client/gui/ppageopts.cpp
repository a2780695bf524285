#include "client/gui/ppageopts.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QRadioButton* Radio(QWidget* parent, const char* name)
{
    auto* radio = new QRadioButton(parent);
    radio->setObjectName(QString::fromLatin1(name));
    return radio;
}

QVBoxLayout* PageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

// Start-up ----------------------------------------------------------------------

CPPageAutoRun::CPPageAutoRun(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::AutoRun, logic, parent), m_automatic(Radio(this, "runAutomatically")),
      m_manual(Radio(this, "runManually"))
{
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(m_automatic);
    layout->addWidget(m_manual);
    layout->addStretch();
    connect(m_automatic, &QRadioButton::toggled, this, [this](bool on) { Settings().autoRun = on ? 1 : 0; });
}

void CPPageAutoRun::Load()
{
    m_automatic->setChecked(Settings().autoRun != 0);
    m_manual->setChecked(Settings().autoRun == 0);
}

void CPPageAutoRun::Retranslate()
{
    ApplyDialogTexts(*this, Texts(), {{kCtlRunAutomatically, m_automatic}, {kCtlRunManually, m_manual}});
}

// Stored code list -------------------------------------------------------------------

CPPageAutoDesc::CPPageAutoDesc(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::AutoDesc, logic, parent), m_browser(Radio(this, "showInBrowser")),
      m_window(Radio(this, "showInWindow")), m_automatic(Radio(this, "describeAutomatically")),
      m_manual(Radio(this, "describeManually"))
{
    // Two groups of radios on one page.
    auto* where = new QWidget(this);
    auto* whereLayout = PageLayout(where);
    m_browser->setParent(where);
    m_window->setParent(where);
    whereLayout->addWidget(m_browser);
    whereLayout->addWidget(m_window);
    auto* how = new QWidget(this);
    auto* howLayout = PageLayout(how);
    m_automatic->setParent(how);
    m_manual->setParent(how);
    howLayout->addWidget(m_automatic);
    howLayout->addWidget(m_manual);
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(where);
    layout->addSpacing(12);
    layout->addWidget(how);
    layout->addStretch();
    connect(m_browser, &QRadioButton::toggled, this, [this](bool on) {
        ChooseWebView(Settings(), on);
        Load();
    });
    connect(m_automatic, &QRadioButton::toggled, this,
            [this](bool on) { Settings().autoDescriptions = on ? 1 : 0; });
}

void CPPageAutoDesc::Load()
{
    const QSignalBlocker browser(m_browser);
    const QSignalBlocker automatic(m_automatic);
    const CClientSettings& settings = Settings();
    m_browser->setChecked(settings.webView != 0);
    m_window->setChecked(settings.webView == 0);
    m_automatic->setChecked(settings.autoDescriptions != 0);
    m_manual->setChecked(settings.autoDescriptions == 0);
    const bool offered = DescriptionChoiceOffered(settings);
    m_automatic->setEnabled(offered);
    m_manual->setEnabled(offered);
}

void CPPageAutoDesc::Retranslate()
{
    ApplyDialogTexts(*this, Texts(),
                     {{kCtlShowInBrowser, m_browser},
                      {kCtlShowInWindow, m_window},
                      {kCtlDescribeAutomatically, m_automatic},
                      {kCtlDescribeManually, m_manual}});
}

// Batch process ----------------------------------------------------------------------

CPPageAutoGo::CPPageAutoGo(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::AutoGo, logic, parent), m_choices{Radio(this, "alwaysProcess"),
                                                                  Radio(this, "processIfOnlyOne"),
                                                                  Radio(this, "neverProcess")},
      m_note(new QLabel(this))
{
    m_note->setWordWrap(true);
    QVBoxLayout* layout = PageLayout(this);
    for (int i = 0; i < 3; ++i) {
        layout->addWidget(m_choices[i]);
        connect(m_choices[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Settings().autoGo = i;
        });
    }
    layout->addSpacing(12);
    layout->addWidget(m_note);
    layout->addStretch();
}

void CPPageAutoGo::Load()
{
    const int choice = Settings().autoGo >= 0 && Settings().autoGo <= 2 ? Settings().autoGo : 0;
    m_choices[choice]->setChecked(true);
}

void CPPageAutoGo::Retranslate()
{
    ApplyDialogTexts(*this, Texts(),
                     {{kCtlAlwaysProcess, m_choices[0]},
                      {kCtlProcessIfOnlyOne, m_choices[1]},
                      {kCtlNeverProcess, m_choices[2]},
                      {kCtlAutoGoNote, m_note}});
}

// Advanced ------------------------------------------------------------------------

CPPageAdvanced::CPPageAdvanced(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::Advanced, logic, parent), m_clearCache(new QPushButton(this)),
      m_offline(new QCheckBox(this)), m_storageOnly(new QCheckBox(this)), m_versionLabel(new QLabel(this)),
      m_version(new QPlainTextEdit(this))
{
    m_clearCache->setObjectName(QStringLiteral("clearCacheButton"));
    m_offline->setObjectName(QStringLiteral("workOffline"));
    m_storageOnly->setObjectName(QStringLiteral("storageOnly"));
    m_version->setObjectName(QStringLiteral("versionText"));
    m_version->setReadOnly(true);
    m_version->setTabStopDistance(8 * m_version->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    m_versionLabel->setBuddy(m_version);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_clearCache);
    buttons->addStretch();
    QVBoxLayout* layout = PageLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_offline);
    layout->addWidget(m_storageOnly);
    layout->addSpacing(8);
    layout->addWidget(m_versionLabel);
    layout->addWidget(m_version, 1);
    connect(m_clearCache, &QPushButton::clicked, this, [this] { Logic().ClearCache(); });
}

void CPPageAdvanced::Load()
{
    m_offline->setVisible(Logic().OfflineOffered());
    m_offline->setChecked(Logic().Doc().WorkOffline());
    m_storageOnly->setChecked(Logic().Doc().StorageOnly());
    m_version->setPlainText(ToQString(Logic().VersionText()).remove(QLatin1Char('\r')).trimmed());
}

void CPPageAdvanced::Retranslate()
{
    ApplyDialogTexts(
        *this, Texts(),
        {{kCtlClearCache, m_clearCache}, {kCtlWorkOffline, m_offline}, {kCtlStorageOnly, m_storageOnly}});
    m_versionLabel->setText(Text(kStrVersionLabel));
    Load();
}

bool CPPageAdvanced::Apply()
{
    CClientDoc& doc = Logic().Doc();
    doc.SetWorkOffline(Logic().OfflineOffered() && m_offline->isChecked());
    doc.SetStorageOnly(m_storageOnly->isChecked());
    return true;
}

// Language ----------------------------------------------------------------------

CPPageLangSel::CPPageLangSel(CPageLogic& logic, std::function<void()> languageChanged, QWidget* parent)
    : CWizPropertyPage(CPageId::LangSel, logic, parent), m_label(new QLabel(this)),
      m_list(new QListWidget(this)), m_languageChanged(std::move(languageChanged))
{
    m_list->setObjectName(QStringLiteral("languageList"));
    m_label->setBuddy(m_list);
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_list, 1);
}

void CPPageLangSel::Load()
{
    const CLanguageMgr& language = Language();
    m_list->clear();
    for (const CLanguageEntry& entry : language.Entries())
        m_list->addItem(ToQString(entry.text));
    m_list->setCurrentRow(static_cast<int>(language.CurrentIndex()));
}

void CPPageLangSel::Retranslate()
{
    ApplyDialogTexts(*this, Texts(), {{kCtlLanguageLabel, m_label}});
}

bool CPPageLangSel::Apply()
{
    const int row = m_list->currentRow();
    const std::size_t before = Language().CurrentIndex();
    if (row < 0 || static_cast<std::size_t>(row) == before)
        return true;
    if (!Logic().SelectLanguage(static_cast<std::size_t>(row)))
        return false;
    if (m_languageChanged)
        m_languageChanged();
    return true;
}
