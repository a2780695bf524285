#pragma once

#include "client/scanmgr.h"

#include <QDialog>
#include <QEventLoop>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CLanguageMgr;
namespace Ui {
class CScanAutoDetectInstructDlg;
}

// "Scanner Auto Detect": the instruction for the scanner with OK and
// Cancel; after OK the same window shows the probing's progress bar and
// text and keeps its owner disabled until the detection finishes. The
// scanner manager drives it (RunAutoDetect): ShowInstructions, then
// SetProgress and SetText while probing, then Finish.
class CScanAutoDetectInstructDlg : public QDialog, public CAutoDetectUi {
    Q_OBJECT

public:
    explicit CScanAutoDetectInstructDlg(const CLanguageMgr& language, QWidget* parent = nullptr);
    ~CScanAutoDetectInstructDlg() override;

    void Retranslate();
    // Waits for OK (true: the window stays, now showing the progress) or
    // Cancel (false: the window closes).
    bool ShowInstructions(const std::string& text) override;
    void SetProgress(std::int32_t position, std::int32_t range) override;
    void SetText(const std::string& text) override;
    // Detection ended: the owner comes back and the window closes.
    void Finish(std::optional<std::int32_t> foundPort) override;
    bool Probing() const { return m_probing; }

Q_SIGNALS:
    // After Finish: the detection is over.
    void detectionEnded();

protected:
    void reject() override;

private:
    void ShowProbing(bool probing);

    const std::unique_ptr<Ui::CScanAutoDetectInstructDlg> m_ui;
    const CLanguageMgr& m_language;
    QEventLoop* m_answer = nullptr; // while the instruction waits for OK or Cancel
    bool m_probing = false;
};
