#include "client/gui/ppagescan.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/autodetectdlg.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/scanmgr.h"
#include "client/uitextids.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

void FillPorts(QComboBox& list)
{
    list.clear();
    for (std::int32_t i = 0; i < CScannerMgr::kPortCount; ++i)
        list.addItem(QString::fromStdString(CScannerMgr::PortName(i)));
}

// A stored index as the list's choice; one outside the list is no choice.
void ShowIndex(QComboBox& list, std::int32_t index)
{
    list.setCurrentIndex(index >= 0 && index < list.count() ? index : -1);
}

} // namespace

// Scanner selection -----------------------------------------------------------

CPPageScanSel::CPPageScanSel(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::ScanSel, logic, parent), m_noScanner(new QRadioButton(this)),
      m_useScanner(new QRadioButton(this)), m_listLabel(new QLabel(this)), m_list(new QListWidget(this))
{
    m_noScanner->setObjectName(QStringLiteral("noScanner"));
    m_useScanner->setObjectName(QStringLiteral("useScanner"));
    m_list->setObjectName(QStringLiteral("scannerList"));
    m_listLabel->setBuddy(m_list);
    for (std::int32_t type = 0; type < kScannerTypeCount; ++type)
        m_list->addItem(QString());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_noScanner);
    layout->addWidget(m_useScanner);
    layout->addWidget(m_listLabel);
    layout->addWidget(m_list, 1);
    connect(m_useScanner, &QRadioButton::toggled, this, &CPPageScanSel::Choose);
    connect(m_list, &QListWidget::currentRowChanged, this, &CPPageScanSel::Choose);
}

void CPPageScanSel::Load()
{
    const QSignalBlocker radio(m_useScanner);
    const QSignalBlocker list(m_list);
    const bool use = Settings().useScanner != 0;
    m_useScanner->setChecked(use);
    m_noScanner->setChecked(!use);
    m_list->setCurrentRow(ScannerTypeFromNumber(Settings().scanner) ? Settings().scanner : -1);
    m_list->setEnabled(use);
}

void CPPageScanSel::Choose()
{
    Settings().useScanner = m_useScanner->isChecked() ? 1 : 0;
    m_list->setEnabled(m_useScanner->isChecked());
    if (m_list->currentRow() >= 0)
        Settings().scanner = m_list->currentRow();
    Q_EMIT sequenceChanged();
}

void CPPageScanSel::Retranslate()
{
    ApplyDialogTexts(*this, Texts(), {{kCtlNoScanner, m_noScanner}, {kCtlUseScanner, m_useScanner}});
    m_listLabel->setText(Text(kStrScannerListLabel));
    for (std::int32_t type = 0; type < kScannerTypeCount; ++type)
        m_list->item(type)->setText(Text(ScannerTypeTextId(static_cast<CScannerType>(type))));
}

// General scanner settings ------------------------------------------------------

CPPageScanSetGen::CPPageScanSetGen(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::ScanSetGen, logic, parent)
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    m_port = AddList("portList", &CClientSettings::scannerPort);
    m_baudRate = AddList("baudRateList", &CClientSettings::baudRate);
    m_dataBits = AddList("dataBitsList", &CClientSettings::dataBits);
    m_parity = AddList("parityList", &CClientSettings::parity);
    m_stopBits = AddList("stopBitsList", &CClientSettings::stopBits);
    FillPorts(*m_port);
    for (const char* rate : {"1200", "2400", "4800", "9600", "14400", "19200", "57600"})
        m_baudRate->addItem(QString::fromLatin1(rate));
    for (const char* bits : {"5", "6", "7", "8"})
        m_dataBits->addItem(QString::fromLatin1(bits));
    for (int i = 0; i < 3; ++i)
        m_parity->addItem(QString());
    for (const char* bits : {"1", "1.5", "2"})
        m_stopBits->addItem(QString::fromLatin1(bits));
    QComboBox* lists[] = {m_port, m_baudRate, m_dataBits, m_parity, m_stopBits};
    for (int i = 0; i < 5; ++i) {
        m_labels[i] = new QLabel(this);
        m_labels[i]->setBuddy(lists[i]);
        form->addRow(m_labels[i], lists[i]);
    }
    // Only once filled: a list's first entry becomes its choice as it is
    // added, which is no choice of the user's.
    for (const auto& [list, value] : m_values)
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, value = value](int index) { Settings().*value = index; });
}

QComboBox* CPPageScanSetGen::AddList(const char* name, std::int32_t CClientSettings::*value)
{
    auto* list = new QComboBox(this);
    list->setObjectName(QString::fromLatin1(name));
    m_values.emplace_back(list, value);
    return list;
}

void CPPageScanSetGen::Load()
{
    const CClientSettings settings = Settings();
    ShowIndex(*m_port, settings.scannerPort);
    ShowIndex(*m_baudRate, settings.baudRate);
    ShowIndex(*m_dataBits, settings.dataBits);
    ShowIndex(*m_parity, settings.parity);
    ShowIndex(*m_stopBits, settings.stopBits);
}

void CPPageScanSetGen::Retranslate()
{
    ApplyDialogTexts(*this, Texts(),
                     {{kCtlPortLabel, m_labels[0]},
                      {kCtlBaudRateLabel, m_labels[1]},
                      {kCtlDataBitsLabel, m_labels[2]},
                      {kCtlParityLabel, m_labels[3]},
                      {kCtlStopBitsLabel, m_labels[4]}});
    const int parities[] = {kStrParityEven, kStrParityOdd, kStrParityNone};
    for (int i = 0; i < 3; ++i)
        m_parity->setItemText(i, Text(parities[i]));
}

QWidget* CPPageScanSetGen::FieldWidget(CPageField field)
{
    switch (field) {
    case CPageField::Port:
        return m_port;
    case CPageField::BaudRate:
        return m_baudRate;
    case CPageField::DataBits:
        return m_dataBits;
    case CPageField::Parity:
        return m_parity;
    case CPageField::StopBits:
        return m_stopBits;
    default:
        return nullptr;
    }
}

// Batch scanner settings --------------------------------------------------------

CPPageScanSetPen::CPPageScanSetPen(CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(CPageId::ScanSetPen, logic, parent), m_portLabel(new QLabel(this)),
      m_port(new QComboBox(this)), m_volumeLabel(new QLabel(this)), m_volume(new QComboBox(this)),
      m_autoDetect(new QPushButton(this))
{
    m_port->setObjectName(QStringLiteral("portList"));
    m_volume->setObjectName(QStringLiteral("volumeList"));
    m_autoDetect->setObjectName(QStringLiteral("autoDetectButton"));
    m_portLabel->setBuddy(m_port);
    m_volumeLabel->setBuddy(m_volume);
    FillPorts(*m_port);
    for (int i = 0; i < 3; ++i)
        m_volume->addItem(QString());
    auto* form = new QFormLayout;
    form->addRow(m_portLabel, m_port);
    form->addRow(m_volumeLabel, m_volume);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_autoDetect);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();
    connect(m_port, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (const auto type = Type())
            if (std::int32_t* port = BatchPort(Settings(), *type))
                *port = index;
    });
    connect(m_volume, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (const auto type = Type())
            if (std::int32_t* volume = BatchVolume(Settings(), *type))
                *volume = index;
    });
    connect(m_autoDetect, &QPushButton::clicked, this, &CPPageScanSetPen::AutoDetect);
}

CPPageScanSetPen::~CPPageScanSetPen() = default;

std::optional<CScannerType> CPPageScanSetPen::Type()
{
    return ScannerTypeFromNumber(Settings().scanner);
}

void CPPageScanSetPen::Load()
{
    const auto type = Type();
    const std::int32_t* port = type ? BatchPort(Settings(), *type) : nullptr;
    const std::int32_t* volume = type ? BatchVolume(Settings(), *type) : nullptr;
    const QSignalBlocker portSignals(m_port);
    const QSignalBlocker volumeSignals(m_volume);
    ShowIndex(*m_port, port ? *port : -1);
    ShowIndex(*m_volume, volume ? *volume : -1);
    // The Pennyscanner has neither a beeper to set nor a probe here.
    const bool penny = type == CScannerType::Pennyscanner;
    m_volumeLabel->setVisible(!penny);
    m_volume->setVisible(!penny);
    m_autoDetect->setVisible(!penny);
    m_autoDetect->setEnabled(type && CScannerMgr::CanAutoDetect(*type));
}

void CPPageScanSetPen::Retranslate()
{
    ApplyDialogTexts(
        *this, Texts(),
        {{kCtlPortLabel, m_portLabel}, {kCtlVolumeLabel, m_volumeLabel}, {kCtlAutoDetect, m_autoDetect}});
    const int volumes[] = {kStrVolumeHigh, kStrVolumeMedium, kStrVolumeLow};
    for (int i = 0; i < 3; ++i)
        m_volume->setItemText(i, Text(volumes[i]));
}

QWidget* CPPageScanSetPen::FieldWidget(CPageField field)
{
    if (field == CPageField::Port)
        return m_port;
    if (field == CPageField::Volume)
        return m_volume;
    return nullptr;
}

void CPPageScanSetPen::AutoDetect()
{
    const auto type = Type();
    if (!type)
        return;
    m_detect = std::make_unique<CScanAutoDetectInstructDlg>(Language(), window());
    m_detect->setObjectName(QStringLiteral("autoDetectDialog"));
    connect(m_detect.get(), &CScanAutoDetectInstructDlg::detectionEnded, this, &CPPageScanSetPen::Load);
    if (!Logic().Doc().Scanner()->RunAutoDetect(*type, *m_detect))
        Load();
}
