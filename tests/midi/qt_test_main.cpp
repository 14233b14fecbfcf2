// GoogleTest main with a Qt application object, so that the ports' posted
// notifications can be delivered by processing events.
#include <gtest/gtest.h>

#include <QCoreApplication>

#ifdef KORVANE_TEST_WIDGETS
#include <QApplication>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KORVANE_TEST_WIDGETS
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
