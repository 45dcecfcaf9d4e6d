# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` puts where (the Debian packages are made from the same, debian/):
#   bin/          the rizorod tool (tools/CMakeLists.txt), which finds the library through its
#                 RPATH, $ORIGIN/../lib, from whatever prefix it was installed to
#   lib/          the shared library (libRizOrodOzido.so.0 with its version, the .so link), the
#                 CMake package (find_package(RizOrodOzido)) and, for pkg-config, rizorodozido.pc
#                 (C++20) and rizorodozido-c.pc (the C interface)
#   include/RizOrodOzido/
#                 the public headers and the rows that the class header includes (the tree's
#                 include/ folder as it is); programs include <RizOrodOzido/RizOrodOzido.h>...
#   share/man/man1/, share/rizorod/
#                 the tool's man pages, the Wireshark plugin and the capture writer's two files
#   share/doc/rizorodozido/
#                 README.md, LICENSE, docs/*.md (in docs/), the example capture and the consumer
#                 example
# (Set only when not given: a relative path from the command line stays relative.)
if(NOT DEFINED CMAKE_INSTALL_DOCDIR)
  set(CMAKE_INSTALL_DOCDIR share/doc/rizorodozido CACHE PATH "Documentation (DATAROOTDIR/doc/rizorodozido)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# riz_install_rpath(TARGET DIR): TARGET, installed to DIR (relative to the prefix), finds the
# library where it is installed relative to itself, so that an install runs from any prefix
# (/usr/local, ~/.local, /opt/x) with no LD_LIBRARY_PATH. CMAKE_SKIP_INSTALL_RPATH=ON leaves it
# out, as the Debian packages do (the library is then in a system folder).
function(riz_install_rpath target dir)
  if(NOT WIN32 AND NOT APPLE)
    file(RELATIVE_PATH to_lib ${CMAKE_INSTALL_PREFIX}/${dir} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_lib}")
  endif()
endfunction()

# capture.h needs C++20 (std::span); programs that link the library get it too.
target_compile_features(RizOrodOzido INTERFACE cxx_std_20)

install(TARGETS RizOrodOzido EXPORT RizOrodOzidoTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(WIN32)
  install(FILES ${RIZ_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# find_package(RizOrodOzido CONFIG): the imported target RizOrodOzido::RizOrodOzido; any version
# with the same major number is compatible.
set(RIZ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RizOrodOzido)
install(EXPORT RizOrodOzidoTargets NAMESPACE RizOrodOzido:: DESTINATION ${RIZ_CMAKE_DIR})
file(WRITE ${PROJECT_BINARY_DIR}/RizOrodOzidoConfig.cmake
     "include(\"\${CMAKE_CURRENT_LIST_DIR}/RizOrodOzidoTargets.cmake\")\n")
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RizOrodOzidoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RizOrodOzidoConfig.cmake
              ${PROJECT_BINARY_DIR}/RizOrodOzidoConfigVersion.cmake DESTINATION ${RIZ_CMAKE_DIR})

# pkg-config: rizorodozido.pc for C++ programs (its flags hold -std=c++20, which
# <RizOrodOzido/capture.h> needs), rizorodozido-c.pc for C programs of the C interface. Written
# when installing, with the prefix installed to (cmake --install --prefix, or /usr in the Debian
# packages, whose staging folder comes in through DESTDIR).
foreach(pc rizorodozido rizorodozido-c)
  install(CODE "set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
    set(libdir \"${CMAKE_INSTALL_LIBDIR}\")
    set(includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(version \"${PROJECT_VERSION}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in\" \"${PROJECT_BINARY_DIR}/${pc}.pc\" @ONLY)")
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

file(GLOB riz_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${riz_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)  # where the README links to them
install(FILES ${PROJECT_SOURCE_DIR}/examples/session.cap DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/consumer DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
