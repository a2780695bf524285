// The floor of the client's start-up: a bare Qt Widgets program that shows
// a main window holding a tree view of 200 rows in nine columns and ends
// at its first idle moment, as `lumora` does with LUMORA_EXIT_AT_IDLE=1.
#include <QApplication>
#include <QMainWindow>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

namespace {

constexpr int kRows = 200;
constexpr int kColumns = 9;

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    auto* model = new QStandardItemModel(kRows, kColumns, &window);
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column)
            model->setItem(row, column,
                           new QStandardItem(QStringLiteral("Row %1 column %2").arg(row).arg(column)));
    auto* view = new QTreeView(&window);
    view->setRootIsDecorated(false);
    view->setModel(model);
    window.setCentralWidget(view);
    window.resize(800, 600);
    window.show();
    QTimer::singleShot(0, &application, &QCoreApplication::quit);
    return QApplication::exec();
}
