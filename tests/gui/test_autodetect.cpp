// The auto-detection dialog driven by the real scanner manager, probing
// pseudo-terminals behind COM1 to COM9 where a simulated CyberPen answers.
#include "client/gui/autodetectdlg.h"

#include "client/uitextids.h"
#include "tests/client/scanhost.h"
#include "tests/gui/guitest.h"
#include "tests/support/dosdevices.h"
#include "tests/support/infopensim.h"
#include "tests/support/ptydevice.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

using Ms = std::chrono::milliseconds;

// Hands the detect-result messages to the manager, as the main view does,
// while the dialog keeps painting; true once the detection finished.
bool PumpUntilFinished(CScannerMgr& manager, RecordingPort& port, const CScanAutoDetectInstructDlg& dialog,
                       std::vector<int>& progress)
{
    const QProgressBar* bar = dialog.findChild<QProgressBar*>("progressBar");
    const auto deadline = std::chrono::steady_clock::now() + Ms(30000);
    while (manager.IsDetecting() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (const CViewMessage& message : port.TakeMessages())
            if (message.id == CViewMessageId::DetectResult) {
                manager.OnDetectResult(message.first, message.second);
                if (bar->isVisible())
                    progress.push_back(bar->value());
            }
    }
    return !manager.IsDetecting();
}

// Runs `answer` on the instruction once it shows.
void AnswerInstruction(QObject* context, const char* button)
{
    QTimer::singleShot(0, context, [button] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
}

} // namespace

class AutoDetectTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsThePenAndCloses()
    {
        TempHome home;
        DosDevices ports;
        for (int number = 1; number <= 9; ++number)
            ports.LinkMissing(number);
        PtyDevice device;
        ports.Link(3, device.SlavePath());
        InfoPenSim pen(device);
        pen.Start();
        ScanTestHost host(home);
        host.SetState(CDocState::SettingsOpen);
        host.Settings().penPort = 7;
        CScannerMgr manager(host);

        QWidget owner;
        owner.show();
        CScanAutoDetectInstructDlg dialog(host.Context().Language(), &owner);
        QString instruction;
        QTimer::singleShot(0, this,
                           [&] { instruction = dialog.findChild<QLabel*>("instructionText")->text(); });
        AnswerInstruction(this, "okButton");
        QVERIFY(manager.RunAutoDetect(CScannerType::CyberPen, dialog));
        QCOMPARE(instruction,
                 QString::fromStdString(host.Context().Language().LoadText(kStrDetectInstructGeneric)));
        // Probing: the same window, its owner blocked, the bar from 1000 of 15000.
        QVERIFY(dialog.isVisible() && dialog.Probing());
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        const auto* bar = dialog.findChild<QProgressBar*>("progressBar");
        QCOMPARE(bar->maximum(), 15000);
        QCOMPARE(bar->value(), 1000);
        QCOMPARE(dialog.findChild<QLabel*>("progressText")->text(), QString("Auto Detect in Progress..."));

        std::vector<int> progress;
        QVERIFY(PumpUntilFinished(manager, host.Recorder(), dialog, progress));
        pen.Stop();
        QCOMPARE(host.Settings().penPort, 2); // COM3
        QVERIFY(!progress.empty());           // COM1 and COM2 said nothing
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(host.Recorder().Boxes().empty());
    }

    void cancelKeepsThePort()
    {
        TempHome home;
        DosDevices ports;
        ScanTestHost host(home);
        host.SetState(CDocState::SettingsOpen);
        host.Settings().symbolPort = 4;
        CScannerMgr manager(host);
        CScanAutoDetectInstructDlg dialog(host.Context().Language());
        AnswerInstruction(this, "cancelButton");
        QVERIFY(!manager.RunAutoDetect(CScannerType::Cs2000, dialog));
        QVERIFY(!dialog.isVisible());
        QVERIFY(!manager.IsDetecting());
        QCOMPARE(host.Settings().symbolPort, 4);
    }
};

LUMORA_QTEST_MAIN(AutoDetectTest)
#include "test_autodetect.moc"
