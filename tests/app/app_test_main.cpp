// The window tests run in one QApplication, offscreen on Linux; under wine on
// Windows with Qt's Windows platform plugin (tests/app/CMakeLists.txt).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", DIMLET_TEST_QPA_PLATFORM);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
