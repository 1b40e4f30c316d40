// Test entry point: the component delivers its events through the owner's Qt
// event loop, so the tests run inside a QCoreApplication.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  // The plain Unix event dispatcher keeps the event loop simple under the
  // thread sanitizer.
  qputenv("QT_NO_GLIB", "1");
  // The port map lives under the user's configuration folder; give the run
  // its own.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QCoreApplication::setOrganizationName("kv37-tests");
  QCoreApplication::setApplicationName("comm_tests");
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
