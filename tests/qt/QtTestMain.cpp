#include <QApplication>

#include <gtest/gtest.h>

// One QApplication for every Qt test, on the offscreen platform that ctest selects.
// Not made when gtest only lists the tests (at build time, with no display).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
