#pragma once

#include "vtkit/vtbatch.h"

#include <QDialog>

#include <memory>
#include <string>

class CLanguageMgr;
namespace Ui {
class CBatchErrorDlg;
}

// "Process Code Transaction Error": what went wrong with a code and how to
// go on. Retry asks again, Skip goes on without the query, Cancel (also
// Escape and closing the window) stops the processing.
class CBatchErrorDlg : public QDialog {
    Q_OBJECT

public:
    CBatchErrorDlg(const CLanguageMgr& language, const std::string& text, QWidget* parent = nullptr);
    ~CBatchErrorDlg() override;

    void Retranslate();
    // Shows the dialog modally and returns the user's decision.
    VTBatchCodeListener::Decision Ask();
    VTBatchCodeListener::Decision Decision() const;

private:
    const std::unique_ptr<Ui::CBatchErrorDlg> m_ui;
    const CLanguageMgr& m_language;
};
