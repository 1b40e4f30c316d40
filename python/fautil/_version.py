"""The package's version: always the library's own (CMake checks it)."""

__version__ = "1.0.1"
