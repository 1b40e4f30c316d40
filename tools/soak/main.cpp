// kv37soak: long-running check of the update path and the serial component.
// Not part of the default test run; see docs/FUZZING.md and scripts/soak.

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <iostream>

#include "Soak.h"

int main(int argc, char** argv) {
  kv37::soak::SoakOptions options;
  CLI::App cli{"Simulated updates over one open port, then open/close cycles of the port"};
  cli.add_option("--updates", options.updates, "updates over one open port")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  cli.add_option("--cycles", options.cycles, "open/close cycles afterwards")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  cli.add_option("--max-size", options.maxImageSize, "largest image, bytes")
      ->capture_default_str()
      ->check(CLI::Range(0u, 0x100000u));
  cli.add_option("--seed", options.seed, "seed of the images")->capture_default_str();
  cli.add_option("--read-interval", options.readInterval, "gap in ms that ends a port read")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1000u));
  CLI11_PARSE(cli, argc, argv);

  QCoreApplication app(argc, argv);
  return kv37::soak::RunSoak(options, std::cout);
}
