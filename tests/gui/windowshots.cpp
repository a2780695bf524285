// Renders the main window with 20 stored codes of mixed types and its tray
// menu to PNG files, for a look at them and for the README (the dialogs
// have lumora_widget_shots): lumora_window_shots FOLDER [en|pt|es]. Run it
// under an X server (xvfb-run) to see them as a desktop draws them.
#include "client/gui/cliview.h"
#include "client/gui/mainfrm.h"
#include "client/gui/scodeview.h"
#include "client/gui/trayicon.h"
#include "tests/gui/guitest.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

#include <cstdio>
#include <filesystem>

namespace {

bool Save(QWidget& widget, const std::filesystem::path& file)
{
    widget.show();
    QTest::qWait(200);
    const bool saved = widget.grab().save(QString::fromStdString(file.string()));
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumora_window_shots FOLDER [en|pt|es]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::string language = argc > 2 ? argv[2] : "en";
    TempHome home;
    QApplication application(argc, argv);
    ListFixture list;
    if (!list.SelectLanguage(language))
        return 1;
    list.Fill(20);
    bool ok = true;

    CMainFrame frame(list.language, list.settings);
    auto* codes = new CScListCtrl(list.codes, list.language);
    frame.View()->SetList(codes);
    codes->SetFilterEdit(frame.View()->FilterEntry());
    codes->ApplyColumnData(list.settings);
    frame.ViewStateChanged(CDocState::Idle, true);
    frame.View()->SetEntryText(QStringLiteral("036000291452"));
    frame.resize(1180, 620);
    ok = Save(frame, folder / ("main-window-" + language + ".png")) && ok;

    QMenu& tray = *frame.Tray()->Menu();
    tray.popup(QPoint(40, 40));
    ok = Save(tray, folder / ("tray-menu-" + language + ".png")) && ok;
    tray.hide();

    return ok ? 0 : 1;
}
