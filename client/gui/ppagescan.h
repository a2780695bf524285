#pragma once

#include "client/gui/wizpage.h"

#include <memory>
#include <utility>
#include <vector>

class CScanAutoDetectInstructDlg;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

// "Scanner Settings": no scanner, or the one chosen in the list of types.
class CPPageScanSel : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageScanSel(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

private:
    void Choose();

    QRadioButton* m_noScanner;
    QRadioButton* m_useScanner;
    QLabel* m_listLabel;
    QListWidget* m_list;
};

// "General Scanner Settings": the serial line of an on-line scanner.
class CPPageScanSetGen : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageScanSetGen(CPageLogic& logic, QWidget* parent = nullptr);
    void Load() override;
    void Retranslate() override;

protected:
    QWidget* FieldWidget(CPageField field) override;

private:
    QComboBox* AddList(const char* name, std::int32_t CClientSettings::*value);

    QComboBox* m_port;
    QComboBox* m_baudRate;
    QComboBox* m_dataBits;
    QComboBox* m_parity;
    QComboBox* m_stopBits;
    QLabel* m_labels[5];
    std::vector<std::pair<QComboBox*, std::int32_t CClientSettings::*>> m_values;
};

// "Batch Scanner Settings": the port (and beeper volume) of a memory
// scanner, with Auto-Detect; the Pennyscanner has the port only.
class CPPageScanSetPen : public CWizPropertyPage {
    Q_OBJECT

public:
    explicit CPPageScanSetPen(CPageLogic& logic, QWidget* parent = nullptr);
    ~CPPageScanSetPen() override;
    void Load() override;
    void Retranslate() override;

protected:
    QWidget* FieldWidget(CPageField field) override;

private:
    std::optional<CScannerType> Type();
    void AutoDetect();

    QLabel* m_portLabel;
    QComboBox* m_port;
    QLabel* m_volumeLabel;
    QComboBox* m_volume;
    QPushButton* m_autoDetect;
    std::unique_ptr<CScanAutoDetectInstructDlg> m_detect;
};
