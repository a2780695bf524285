#include "client/gui/aboutdlg.h"
#include "client/gui/autodetectdlg.h"
#include "client/gui/batcherrdlg.h"
#include "client/gui/codepropdlg.h"
#include "client/gui/codetypedlg.h"
#include "client/gui/proccodeerrdlg.h"
#include "client/gui/proxyauthdlg.h"
#include "client/gui/scanerrdlg.h"
#include "client/uitextids.h"
#include "tests/gui/guitest.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace {

using Decision = VTBatchCodeListener::Decision;

// Runs `answer` on the modal dialog once it is shown. A dialog the answer
// leaves open (buttons pressed through their access keys click a moment
// later) is rejected after a while, so that a failing answer cannot hang
// the test; the test checks that this never happened.
struct Answering {
    bool abandoned = false;
};

std::shared_ptr<Answering> WhenShown(QObject* context, std::function<void(QWidget&)> answer)
{
    auto state = std::make_shared<Answering>();
    QTimer::singleShot(0, context, [answer = std::move(answer), state] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        dialog->activateWindow(); // access keys work in the active window
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        answer(*dialog);
        QTimer::singleShot(3000, dialog, [dialog, state] {
            if (auto* still = qobject_cast<QDialog*>(dialog); still && still->isVisible()) {
                state->abandoned = true;
                still->reject();
            }
        });
    });
    return state;
}

template <class T = QWidget> T* Child(const QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

QString LabelText(const QWidget& dialog, const char* name)
{
    const auto* label = Child<QLabel>(dialog, name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

const std::string kErrorText =
    "There was some kind of connection failure.\n\nVerify that your internet connection is functioning "
    "properly.\n[desc.example.com]\n\n\tError Code = T-101-5";

// Every dialog of this module, made for a look at its texts.
std::vector<std::pair<const char*, std::function<std::unique_ptr<QDialog>(const CLanguageMgr&)>>> AllDialogs()
{
    CStoredCode code;
    code.number = 3;
    code.codeText = "036000291452";
    code.codeType = 2;
    code.itemDescription = "Oat Crunch cereal, 500 g";
    code.enterDate = ListFixture::kY2k;
    return {
        {"batch error",
         [](const CLanguageMgr& l) { return std::make_unique<CBatchErrorDlg>(l, kErrorText); }},
        {"process code error",
         [](const CLanguageMgr& l) { return std::make_unique<CProcessCodeErrorDlg>(l, kErrorText); }},
        {"proxy authentication", [](const CLanguageMgr& l) { return std::make_unique<CProxyAuthDlg>(l); }},
        {"code properties",
         [code](const CLanguageMgr& l) { return std::make_unique<CCodePropDlg>(l, code); }},
        {"code type choice",
         [](const CLanguageMgr& l) {
             return std::make_unique<CCodeTypeChoiceDlg>(l, "01234565", std::vector<int>{3, 5, 1});
         }},
        {"scanner error",
         [](const CLanguageMgr& l) { return std::make_unique<CScannerErrorDlg>(l, "Invalid port: COM3"); }},
        {"auto-detect",
         [](const CLanguageMgr& l) { return std::make_unique<CScanAutoDetectInstructDlg>(l); }},
        {"about",
         [](const CLanguageMgr& l) {
             return std::make_unique<CAboutDlg>(l, std::array<long, 3>{3, 2, 17});
         }},
    };
}

} // namespace

class WidgetDialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_list = std::make_unique<ListFixture>(); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void batchErrorAnswers_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("decision");
        QTest::newRow("Retry") << "retryButton" << int(VTBatchCodeListener::kRetry);
        QTest::newRow("Skip") << "skipButton" << int(VTBatchCodeListener::kGoOn);
        QTest::newRow("Cancel") << "cancelButton" << int(VTBatchCodeListener::kCancel);
        QTest::newRow("Escape") << "Escape" << int(VTBatchCodeListener::kCancel);
        QTest::newRow("Enter: Retry is the default") << "Return" << int(VTBatchCodeListener::kRetry);
        QTest::newRow("Alt+S") << "Alt+S" << int(VTBatchCodeListener::kGoOn);
        QTest::newRow("Alt+C") << "Alt+C" << int(VTBatchCodeListener::kCancel);
    }

    void batchErrorAnswers()
    {
        QFETCH(QString, press);
        QFETCH(int, decision);
        CBatchErrorDlg dialog(m_list->language, kErrorText);
        QStringList seen;
        const auto answering = WhenShown(this, [&](QWidget& shown) {
            seen << shown.windowTitle() << LabelText(shown, "introLabel") << LabelText(shown, "errorText")
                 << LabelText(shown, "questionLabel");
            if (auto* button = Child<QPushButton>(shown, qPrintable(press)))
                QTest::mouseClick(button, Qt::LeftButton);
            else
                QTest::keySequence(&shown, QKeySequence(press));
        });
        QCOMPARE(int(dialog.Ask()), decision);
        QVERIFY(!answering->abandoned);
        QCOMPARE(seen, (QStringList{
                           "Process Code Transaction Error", "An error has occurred processing a code.",
                           QString::fromStdString(kErrorText), "How would you like to handle the error?"}));
    }

    void batchErrorInPortuguese()
    {
        QVERIFY(m_list->SelectLanguage("pt"));
        CBatchErrorDlg dialog(m_list->language, kErrorText);
        QCOMPARE(dialog.windowTitle(), QString("Erro na transação de processamento do código"));
        QCOMPARE(Child<QPushButton>(dialog, "retryButton")->text(), QString("&Repetir"));
        const auto answering =
            WhenShown(this, [](QWidget& shown) { QTest::keySequence(&shown, QKeySequence("Alt+I")); });
        QCOMPARE(dialog.Ask(), VTBatchCodeListener::kGoOn);
        QVERIFY(!answering->abandoned);
    }

    void errorDialogsShowTheirText_data()
    {
        QTest::addColumn<bool>("scanner");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("intro");
        QTest::newRow("process code") << false << "Process Code Error"
                                      << "The code could not be processed.";
        QTest::newRow("scanner") << true << "Scanner Error"
                                 << "";
    }

    void errorDialogsShowTheirText()
    {
        QFETCH(bool, scanner);
        QFETCH(QString, title);
        QFETCH(QString, intro);
        std::unique_ptr<QDialog> dialog;
        if (scanner)
            dialog = std::make_unique<CScannerErrorDlg>(m_list->language, "Invalid port: COM3");
        else
            dialog = std::make_unique<CProcessCodeErrorDlg>(m_list->language, kErrorText);
        QString shownIntro;
        bool introVisible = false;
        const auto answering = WhenShown(this, [&](QWidget& shown) {
            shownIntro = LabelText(shown, "introLabel");
            introVisible = Child(shown, "introLabel")->isVisible();
            QTest::mouseClick(Child<QPushButton>(shown, "okButton"), Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QVERIFY(!answering->abandoned);
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(introVisible, !intro.isEmpty());
        if (!intro.isEmpty())
            QCOMPARE(shownIntro, intro);
        QCOMPARE(LabelText(*dialog, "errorText"),
                 scanner ? QString("Invalid port: COM3") : QString::fromStdString(kErrorText));
    }

    void proxyCredentials_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("typedUser");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("OK") << ""
                            << "ana"
                            << "s3cret, with spaces " << true << "ana"
                            << "s3cret, with spaces ";
        QTest::newRow("the offered name kept") << "luis"
                                               << ""
                                               << "pw" << true << "luis"
                                               << "pw";
        QTest::newRow("Cancel leaves both") << ""
                                            << "ana"
                                            << "pw" << false << ""
                                            << "old";
        QTest::newRow("no name: OK refused") << ""
                                             << ""
                                             << "pw" << false << ""
                                             << "old";
        QTest::newRow("UTF-8") << ""
                               << "joão"
                               << "çñ€" << true << "joão"
                               << "çñ€";
    }

    void proxyCredentials()
    {
        QFETCH(QString, offered);
        QFETCH(QString, typedUser);
        QFETCH(QString, typedPassword);
        QFETCH(bool, ok);
        QFETCH(QString, user);
        QFETCH(QString, password);
        CProxyAuthDlg dialog(m_list->language);
        bool okEnabled = false;
        const auto answering = WhenShown(this, [&](QWidget& shown) {
            // The name is asked first, unless one is offered.
            QWidget* first = offered.isEmpty() ? Child(shown, "userEdit") : Child(shown, "passwordEdit");
            QCOMPARE(shown.focusWidget(), first);
            auto* userEdit = Child<QLineEdit>(shown, "userEdit");
            if (typedUser.toLatin1() == typedUser.toUtf8())
                QTest::keyClicks(userEdit, typedUser);
            else
                userEdit->insert(typedUser);
            Child<QLineEdit>(shown, "passwordEdit")->setText(typedPassword);
            auto* okButton = Child<QPushButton>(shown, "okButton");
            okEnabled = okButton->isEnabled();
            const bool cancel = QTest::currentDataTag() == QByteArray("Cancel leaves both");
            QTest::mouseClick(cancel || !okEnabled ? Child<QPushButton>(shown, "cancelButton") : okButton,
                              Qt::LeftButton);
        });
        std::string u = offered.toStdString(), p = "old";
        QCOMPARE(dialog.Ask(u, p), ok);
        QVERIFY(!answering->abandoned);
        QCOMPARE(QString::fromStdString(u), ok ? user : offered);
        QCOMPARE(QString::fromStdString(p), password);
        QCOMPARE(okEnabled, !(typedUser.isEmpty() && offered.isEmpty()));
        QCOMPARE(Child<QLineEdit>(dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.windowTitle(), QString("Proxy Authentication"));
    }

    void codeProperties()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        CStoredCode code;
        code.number = 7;
        code.codeText = "036000291452";
        code.codeType = 2;
        code.status = CStoredCode::kNotShown;
        code.genericDescription = "Reference UPCA Code";
        code.itemDescription = "Oat Crunch cereal, 500 g";
        code.enterDate = ListFixture::kY2k;
        CCodePropDlg dialog(m_list->language, code);
        const std::pair<const char*, QString> expected[] = {
            {"numberValue", "7"},
            {"codeValue", "036000291452"},
            {"typeValue", "UPCA Code"},
            {"userDescriptionValue", "-none-"},
            {"itemDescriptionValue", "Oat Crunch cereal, 500 g"},
            {"genericDescriptionValue", "Reference UPCA Code"},
            {"enterDateValue", "Saturday, January 1, 2000 12:00\u202fAM"},
            {"lastAccessedValue", "-none-"},
            {"statusValue", "Not Shown"},
            {"userDescriptionLabel", "User Defined"},
            {"itemDescriptionLabel", "Item Level"},
            {"genericDescriptionLabel", "Generic Server"},
        };
        for (const auto& [name, text] : expected) {
            QString shown = LabelText(dialog, name);
            shown.replace(QChar(0x202f), QChar(0x202f)); // the locale's narrow space stays as it is
            if (std::string_view(name) == "enterDateValue")
                QVERIFY2(shown.startsWith("Saturday, January 1, 2000 12:00"), qPrintable(shown));
            else
                QCOMPARE(shown, text);
        }
        QCOMPARE(dialog.windowTitle(), QString("Code Properties"));
        const auto answering =
            WhenShown(this, [](QWidget& shown) { QTest::keyClick(&shown, Qt::Key_Return); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(!answering->abandoned);
    }

    void codeTypeChoice_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("chosen"); // -1: none
        QTest::newRow("the first, most likely") << "Return" << 3;
        QTest::newRow("the second") << "Down,Return" << 5;
        QTest::newRow("the last") << "End,Return" << 1;
        QTest::newRow("Cancel") << "Down,Escape" << -1;
    }

    void codeTypeChoice()
    {
        QFETCH(QString, keys);
        QFETCH(int, chosen);
        CCodeTypeChoiceDlg dialog(m_list->language, "01234565", {3, 5, 1});
        QStringList names;
        QString header, code;
        const auto answering = WhenShown(this, [&](QWidget& shown) {
            auto* types = Child<QTreeWidget>(shown, "typeList");
            header = types->headerItem()->text(0);
            for (int i = 0; i < types->topLevelItemCount(); ++i)
                names << types->topLevelItem(i)->text(0);
            code = LabelText(shown, "codeValue");
            for (const QString& key : keys.split(','))
                QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
        });
        const std::optional<int> type = dialog.Ask();
        QCOMPARE(type.value_or(-1), chosen);
        QVERIFY(!answering->abandoned);
        QCOMPARE(header, QString("Type Description"));
        QCOMPARE(names, (QStringList{"UPCE Code", "EAN8 Code", "Lumora Code"}));
        QCOMPARE(code, QString("01234565"));
    }

    void codeTypeChosenByDoubleClick()
    {
        CCodeTypeChoiceDlg dialog(m_list->language, "01234565", {3, 5});
        const auto answering = WhenShown(this, [](QWidget& shown) {
            auto* types = Child<QTreeWidget>(shown, "typeList");
            const QRect second = types->visualItemRect(types->topLevelItem(1));
            QTest::mouseClick(types->viewport(), Qt::LeftButton, {}, second.center());
            QTest::mouseDClick(types->viewport(), Qt::LeftButton, {}, second.center());
        });
        QCOMPARE(dialog.Ask(), std::optional<int>(5));
        QVERIFY(!answering->abandoned);
    }

    void autoDetectShowsProgressUntilFinished()
    {
        QWidget owner;
        owner.show();
        CScanAutoDetectInstructDlg dialog(m_list->language, &owner);
        const std::string instruction = m_list->language.LoadText(kStrDetectInstructCs2000);
        // Cancel: the window goes.
        const auto canceling = WhenShown(this, [](QWidget& shown) {
            QTest::mouseClick(Child<QPushButton>(shown, "cancelButton"), Qt::LeftButton);
        });
        QVERIFY(!dialog.ShowInstructions(instruction));
        QVERIFY(!canceling->abandoned);
        QVERIFY(!dialog.isVisible());

        // OK: the same window shows the probing, its owner blocked, until Finish.
        bool buttonsShown = false;
        WhenShown(this, [&](QWidget& shown) {
            buttonsShown = Child(shown, "buttons")->isVisible() && !Child(shown, "progressBar")->isVisible();
            QCOMPARE(LabelText(shown, "instructionText"),
                     QString("Place the CS2000 scanner into its cradle\nand press the OK button."));
            QTest::mouseClick(Child<QPushButton>(shown, "okButton"), Qt::LeftButton);
        });
        QVERIFY(dialog.ShowInstructions(instruction));
        QVERIFY(buttonsShown);
        QVERIFY(dialog.isVisible() && dialog.Probing());
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        dialog.SetProgress(1000, 15000);
        dialog.SetText(m_list->language.LoadText(kStrDetectInProgress));
        auto* bar = Child<QProgressBar>(dialog, "progressBar");
        QVERIFY(bar->isVisible() && !Child(dialog, "buttons")->isVisible());
        QCOMPARE(bar->maximum(), 15000);
        QCOMPARE(bar->value(), 1000);
        QCOMPARE(LabelText(dialog, "progressText"), QString("Auto Detect in Progress..."));
        QTest::keyClick(&dialog, Qt::Key_Escape); // probing ends by itself only
        dialog.close();
        QVERIFY(dialog.isVisible());
        dialog.SetProgress(4200, 15000);
        QCOMPARE(bar->value(), 4200);
        dialog.Finish(2);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void aboutNamesVersionsAndLanguages()
    {
        QVERIFY(m_list->SelectLanguage("es"));
        CAboutDlg dialog(m_list->language, {3, 2, 17});
        QCOMPARE(dialog.windowTitle(), QString("Acerca de Lumora PC Software"));
        QCOMPARE(LabelText(dialog, "productLabel"), QString("Lumora PC Software"));
        QVERIFY2(LabelText(dialog, "versionLabel").contains("3.2") &&
                     LabelText(dialog, "versionLabel").contains("17"),
                 qPrintable(LabelText(dialog, "versionLabel")));
        auto* languages = Child<QTreeWidget>(dialog, "languageList");
        QStringList rows;
        for (int i = 0; i < languages->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = languages->topLevelItem(i);
            rows << (item->text(0) + "|" + item->text(1) + "|" + item->text(2));
        }
        QCOMPARE(rows,
                 (QStringList{"English|lumora 1.0.0|", "Portuguese|lumorapor.so 1.0.0|",
                              "Español|lumoraspa.so 1.0.0|" +
                                  QString::fromStdString(m_list->language.LoadText(kStrCurrentLanguage))}));
    }

    // Tab walks the fields in reading order, then the buttons.
    void tabOrder_data()
    {
        QTest::addColumn<int>("dialog");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("batch error") << 0
                                     << QStringList{"retryButton", "skipButton", "cancelButton",
                                                    "retryButton"};
        QTest::newRow("proxy authentication")
            << 2 << QStringList{"userEdit", "passwordEdit", "okButton", "cancelButton", "userEdit"};
        QTest::newRow("code type choice")
            << 4 << QStringList{"typeList", "okButton", "cancelButton", "typeList"};
    }

    void tabOrder()
    {
        QFETCH(int, dialog);
        QFETCH(QStringList, order);
        const std::unique_ptr<QDialog> shown =
            AllDialogs()[static_cast<std::size_t>(dialog)].second(m_list->language);
        if (auto* user = shown->findChild<QLineEdit*>("userEdit"))
            user->setText("ana"); // OK takes the focus once it may be pressed
        shown->show();
        shown->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(shown.get()));
        shown->findChild<QWidget*>(order.front())->setFocus();
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, order);
    }

    // In every language each dialog gives each of its controls its own
    // access key, and a label with an access key leads to its field.
    void accessKeysAreUnique_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("dialog");
        const auto dialogs = AllDialogs();
        for (const char* language : {"en", "pt", "es"})
            for (std::size_t i = 0; i < dialogs.size(); ++i)
                QTest::addRow("%s %s", language, dialogs[i].first) << language << int(i);
    }

    void accessKeysAreUnique()
    {
        QFETCH(QString, language);
        QFETCH(int, dialog);
        QVERIFY(m_list->SelectLanguage(language.toStdString()));
        const std::unique_ptr<QDialog> shown =
            AllDialogs()[static_cast<std::size_t>(dialog)].second(m_list->language);
        QVERIFY(!shown->windowTitle().isEmpty());
        QMap<QChar, QString> keys;
        const auto note = [&](const QString& text) {
            const int at = static_cast<int>(QString(text).replace("&&", "").indexOf('&'));
            if (at < 0 || at + 1 >= text.size())
                return;
            const QChar key = QString(text).replace("&&", "").at(at + 1).toLower();
            QVERIFY2(!keys.contains(key), qPrintable(text + " and " + keys.value(key)));
            keys.insert(key, text);
        };
        for (const QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
            QVERIFY2(!button->text().isEmpty(), qPrintable(button->objectName()));
            note(button->text());
        }
        for (const QLabel* label : shown->findChildren<QLabel*>()) {
            if (label->textFormat() == Qt::PlainText)
                continue; // shows what it is given
            note(label->text());
            if (QString(label->text()).replace("&&", "").contains('&'))
                QVERIFY2(label->buddy(), qPrintable(label->text()));
        }
    }

private:
    std::unique_ptr<ListFixture> m_list;
};

LUMORA_QTEST_MAIN(WidgetDialogsTest)
#include "test_widgetdlgs.moc"
