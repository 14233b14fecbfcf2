#pragma once
// The entry of a QtTest window test: the windows run without a screen, and
// whatever they write to the data and settings folders lands in a temporary
// home that goes away with the test, even when it is started by hand outside
// ctest.

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#define KORVANE_OFFSCREEN_TEST_MAIN(TestClass)                                                       \
    int main(int argc, char** argv) {                                                                \
        QTemporaryDir home;                                                                          \
        qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());                  \
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
        QApplication app(argc, argv);                                                                \
        TestClass test;                                                                              \
        return QTest::qExec(&test, argc, argv);                                                      \
    }
