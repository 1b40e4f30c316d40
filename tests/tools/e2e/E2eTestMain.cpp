// Test entry point: the serial component delivers its events through the
// owner's Qt event loop, so the tests run inside a QCoreApplication.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  // The port map lives under the user's configuration folder; the run gets
  // its own, and so do the programs it starts.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
