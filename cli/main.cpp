// kv37-update-cli: scripted, logged and parallel OS updates of KV-37 units.
// See docs/CLI.md and --help for the options, output and exit statuses.

#include "UpdaterMain.h"

int main(int argc, char** argv) {
  return kv37::cli::RunUpdater(argc, argv);
}
