// Renders the stored code list and every dialog of the widgets to PNG
// files, for a look at alignment, clipped texts and access keys in each
// language: lumora_widget_shots FOLDER [en|pt|es] [long]
#include "client/gui/aboutdlg.h"
#include "client/gui/autodetectdlg.h"
#include "client/gui/batcherrdlg.h"
#include "client/gui/codepropdlg.h"
#include "client/gui/codetypedlg.h"
#include "client/gui/proccodeerrdlg.h"
#include "client/gui/proxyauthdlg.h"
#include "client/gui/scanerrdlg.h"
#include "client/gui/scodeview.h"
#include "client/uitextids.h"
#include "tests/gui/guitest.h"

#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// Shown at its own size unless it was given one.
void Save(QWidget& widget, const QString& folder, const QString& name)
{
    widget.show();
    if (!widget.testAttribute(Qt::WA_Resized))
        widget.adjustSize();
    QCoreApplication::processEvents();
    const QString path = folder + "/" + name + ".png";
    if (!widget.grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [en|pt|es] [long]\n", argv[0]);
        return 2;
    }
    TempHome home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TZ", "UTC", 1);
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const std::string language = argc > 2 ? argv[2] : "en";
    const bool longTexts = argc > 3 && std::string(argv[3]) == "long";
    QDir().mkpath(folder);
    const QString suffix = QString::fromStdString("-" + language) + (longTexts ? "-long" : "");

    ListFixture list;
    if (!list.SelectLanguage(language))
        return 1;
    list.Fill(20);
    if (longTexts) {
        list.Add("http://127.0.0.1:8470/item?type=URL&sid=URL&iid=a-very-long-address-that-goes-on-and-on",
                 10,
                 "A description much longer than the column, the way servers sometimes send them for a "
                 "catalogue item with a lot to say");
        list.codes.EditDescription(3, std::string(180, 'W'));
        // What a hostile server may send: terminal commands, a bell, a carriage return.
        list.codes.EditDescription(5, "\x1b[2J\x1b[31mScreen cleared?\a\rOverwritten\nSecond line");
    }
    list.codes.Sort(kColumnNumber, true);

    QWidget view;
    auto* layout = new QVBoxLayout(&view);
    auto* filter = new QLineEdit(&view);
    auto* codes = new CScListCtrl(list.codes, list.language, &view);
    codes->SetFilterEdit(filter);
    layout->addWidget(filter);
    layout->addWidget(codes);
    view.resize(1100, 520);
    codes->ShowNumber(2);
    Save(view, folder, "list" + suffix);
    codes->ContextMenu().popup(codes->mapToGlobal(QPoint(200, 80)));
    Save(codes->ContextMenu(), folder, "list-menu" + suffix);
    codes->ContextMenu().hide();

    const std::string error =
        longTexts
            ? "The server desc.example.com answered: the description service is closed for maintenance "
              "until further notice; please try again later or contact the maker of this code.\n"
              "[https://desc.example.com/very/long/path/of/the/description/service]\n\n\tError Code = S-104-7"
            : "There was some kind of connection failure.\n\nVerify that your internet connection is "
              "functioning properly.\n[desc.example.com]\n\n\tError Code = T-101-5";
    CBatchErrorDlg batch(list.language, error);
    Save(batch, folder, "batch-error" + suffix);
    CProcessCodeErrorDlg process(list.language, error);
    Save(process, folder, "process-code-error" + suffix);
    CProxyAuthDlg proxy(list.language);
    Save(proxy, folder, "proxy-auth" + suffix);
    CCodePropDlg properties(list.language, list.codes.Entries()[longTexts ? 0 : 11]);
    Save(properties, folder, "code-properties" + suffix);
    CCodeTypeChoiceDlg choice(list.language, "01234565", {3, 5, 1});
    Save(choice, folder, "code-type-choice" + suffix);
    CScannerErrorDlg scanner(list.language, list.language.LoadText(kStrScannerNotStarted));
    Save(scanner, folder, "scanner-error" + suffix);
    CScanAutoDetectInstructDlg detect(list.language);
    QTimer::singleShot(0, &detect, [&] {
        Save(detect, folder, "auto-detect" + suffix);
        detect.findChild<QWidget*>("okButton")->setFocus();
        QTest::keyClick(detect.findChild<QWidget*>("okButton"), Qt::Key_Space);
    });
    detect.ShowInstructions(list.language.LoadText(kStrDetectInstructGeneric));
    detect.SetProgress(6000, 15000);
    detect.SetText(list.language.LoadText(kStrDetectInProgress));
    Save(detect, folder, "auto-detect-probing" + suffix);
    detect.Finish(std::nullopt);
    CAboutDlg about(list.language, {3, 2, 1});
    Save(about, folder, "about" + suffix);
    return 0;
}
