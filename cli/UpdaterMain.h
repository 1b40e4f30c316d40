#pragma once
// The whole program behind main(): arguments, image, sinks, session and
// event loop. Returns the process exit status (see CliOptions.cpp).

namespace kv37::cli {

// Creates the QCoreApplication itself; call once per process.
int RunUpdater(int argc, char** argv);

}  // namespace kv37::cli
