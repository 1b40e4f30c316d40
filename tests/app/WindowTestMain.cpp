// The window tests need one application object for the whole run, and a
// private configuration folder so the port map they write touches nothing
// of the user's.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>

#include "Kv37Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  Kv37Application application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
