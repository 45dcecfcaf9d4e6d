# The Debian package, made by `cpack -G DEB` in the build folder: everything `cmake --install`
# installs, under /usr, in one package named rizorodozido (the library, its headers and CMake and
# pkg-config files, the tool, its man pages, the docs). Its dependencies are found by
# dpkg-shlibdeps; its shlibs file and ldconfig trigger are made for the shared library.
# Configure with the prefix /usr so that the library goes to Debian's multiarch folder
# (scripts/check-package.sh does, with Debian's build flags).
set(RIZ_DEB_MAINTAINER "RizOrodOzido maintainers <maintainers@rizorodozido.example>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rizorodozido)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${RIZ_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "decoder of Bluetooth host stack primitives into text")
set(CPACK_PACKAGE_DESCRIPTION "RizOrodOzido turns the in-memory messages of a Bluetooth host protocol stack
(Device Manager and HCI, L2CAP with BNEP and TCP, RFCOMM, SDP) into readable
text for logs and debugging.

This package holds the shared library with its C++ and C headers, its CMake
and pkg-config files, the capture writer's C sources for the stack's own
build, and the rizorod tool, which decodes captures logged by a running stack.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
# The library's ldconfig trigger (CPack's own postinst and postrm run ldconfig as well).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
# The files that only the package has, added to its staging folder by cmake/debian-files.cmake:
# the changelog and the lintian overrides (the findings that hold by design, each with its reason).
string(TIMESTAMP riz_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/changelog
     "rizorodozido (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Built from the project's sources by CPack.\n\n -- ${RIZ_DEB_MAINTAINER}  ${riz_date}\n")
set(CPACK_RIZ_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)
set(CPACK_RIZ_OVERRIDES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-files.cmake)
include(CPack)
