# Debian packages from the install components, with cpack -G DEB:
#   kv37update     the window, kv37-update-cli, kv37sim, desktop entry, icon,
#                  man pages, documentation and the udev example
#   libfautil      the shared library alone
#   libfautil-dev  headers, static and shared development files, the CMake
#                  package and the pkg-config file
#   python3-fautil the Python package (pure Python over libfautil1)
# Dependencies on system libraries come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv37update)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KV-37 tools team")
set(CPACK_PACKAGE_CONTACT "KV-37 tools team <kv37-tools@example.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL kv37update fautil fautil_runtime python3_fautil)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.com/kv37update")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_KV37UPDATE_PACKAGE_NAME kv37update)
set(CPACK_DEBIAN_KV37UPDATE_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_KV37UPDATE_DESCRIPTION
  "KV-37 OS update utility\n The operator window, the command-line updater kv37-update-cli and the\n simulated unit kv37sim: install a new operating-system image into a KV-37\n unit over an RS-232 line or a USB-serial adapter.")

set(CPACK_DEBIAN_FAUTIL_RUNTIME_PACKAGE_NAME libfautil${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_FAUTIL_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_FAUTIL_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/libfautil1/triggers)
set(CPACK_COMPONENT_FAUTIL_RUNTIME_DESCRIPTION
  "KV-37 device data library\n Operand notation, packed reference codes, link strings, number and dump\n text, tagged data files, telephone registers and buffer masking.")

set(CPACK_DEBIAN_FAUTIL_PACKAGE_NAME libfautil-dev)
set(CPACK_DEBIAN_FAUTIL_PACKAGE_SECTION libdevel)
# The CMake package also exports the small Qt helper library, so
# find_package(Fautil) looks for Qt's development files.
set(CPACK_DEBIAN_FAUTIL_PACKAGE_DEPENDS
  "libfautil${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}-1), qt6-base-dev")
set(CPACK_COMPONENT_FAUTIL_DESCRIPTION
  "KV-37 device data library, development files\n Headers, static library, development link of the shared library, CMake\n package (find_package(Fautil)) and pkg-config file of the device data\n library. Needs a C++20 compiler.")

set(CPACK_DEBIAN_PYTHON3_FAUTIL_PACKAGE_NAME python3-fautil)
set(CPACK_DEBIAN_PYTHON3_FAUTIL_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON3_FAUTIL_PACKAGE_ARCHITECTURE all)
# ctypes loads the library of exactly this version at run time: no shlibdeps.
set(CPACK_DEBIAN_PYTHON3_FAUTIL_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON3_FAUTIL_PACKAGE_DEPENDS
  "python3, libfautil${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}-1)")
set(CPACK_COMPONENT_PYTHON3_FAUTIL_DESCRIPTION
  "KV-37 device data library for Python 3\n The fautil package: the device data library's routines for Python, through\n ctypes over libfautil.so.1, so nothing is compiled. Its tests are in\n /usr/share/python3-fautil/tests.")

include(CPack)
