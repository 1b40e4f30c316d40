"""python3 -m fautil --version: the package's version and the library it loaded."""

import argparse

from . import __version__, version
from ._native import lib


def main():
    parser = argparse.ArgumentParser(prog="python3 -m fautil",
                                     description="The KV-37 device data library for Python.")
    parser.add_argument("--version", action="store_true",
                        help="print the package's version and the library's, then exit")
    parser.parse_args()
    print(f"fautil {__version__} (library {version()}, {lib._name})")


main()
