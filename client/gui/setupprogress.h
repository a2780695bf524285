#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <thread>

class CLanguageMgr;
class CSetupProgress;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QProgressBar;

// The progress dialog of an installation or removal: the steps run on a
// worker thread, each step's text appears as it begins, and the final word
// or the failure's message at the end; only then can the dialog be closed.
class CSetupProgressDlg : public QDialog {
    Q_OBJECT

public:
    // Every step in order, returning the text to finish with; a failure
    // throws CSetupError.
    using Job = std::function<std::string(CSetupProgress&)>;

    // `failedHeading`: the text above a failure's message.
    CSetupProgressDlg(const CLanguageMgr& language, int failedHeading, QWidget* parent = nullptr);
    ~CSetupProgressDlg() override;

    void Start(Job job);
    // Start, then modal until the user closes it; true when the job succeeded.
    bool Run(Job job);

    bool Done() const { return m_done; }
    bool Succeeded() const { return m_succeeded; }
    QStringList Steps() const;
    QString Result() const;

Q_SIGNALS:
    void Finished(bool succeeded);

protected:
    void reject() override;

private:
    void AddStep(const QString& text);
    void Finish(bool succeeded, const QString& text);

    const CLanguageMgr& m_language;
    const int m_failedHeading;
    QListWidget* m_steps;
    QProgressBar* m_busy;
    QLabel* m_result;
    QDialogButtonBox* m_buttons;
    std::thread m_worker;
    bool m_done = false;
    bool m_succeeded = false;
};
