#pragma once

#include "client/config.h"
#include "client/langmgr.h"
#include "client/scode.h"
#include "tests/support/tempdir.h"
#include "tests/support/temphome.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QStringList>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <string>

// The stored code list of a test as the client has it: the language
// manager with the Portuguese and Spanish libraries beside a program of its
// own, the settings and the manager, whose clock stands at 2000-01-01.
class ListFixture {
public:
    static constexpr const char* kY2k = "125911584000000000"; // 2000-01-01 00:00:00

    ListFixture();

    // "en", "pt" or "es".
    bool SelectLanguage(const std::string& code);
    // `count` codes: the samples of every type first, then numbered
    // Numicodes; the last one added is number 1.
    void Fill(std::size_t count);
    // One entry at the top.
    void Add(const std::string& text, int type, const std::string& description = {});

    TempDir program;
    CLanguageMgr language;
    CClientSettings settings;
    CStoredCodeMgr codes;
};

// The codes in the order a model (the list's, or its proxy) shows them.
QStringList ShownCodes(const QAbstractItemModel& model);

// Runs a Qt Test class offscreen in a throw-away home (made before the
// application, so Qt's own folders are in it too), with local time UTC.
template <class Test> int RunQtTest(int argc, char** argv)
{
    TempHome home;
    // Qt wants its runtime folder private.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TZ", "UTC", 1);
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

#define LUMORA_QTEST_MAIN(TestClass)                                                                         \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        return RunQtTest<TestClass>(argc, argv);                                                             \
    }
