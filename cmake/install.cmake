# What `cmake --install` puts where, and the packages made from it:
#   lib/          the shared library (libRizOrodOzido.so.0 with its version, the .so link), the
#                 CMake package (find_package(RizOrodOzido)) and rizorodozido.pc (pkg-config)
#   include/RizOrodOzido/
#                 the public headers and the rows they include (the tree's include/ folder as it
#                 is); programs include <RizOrodOzido/RizOrodOzido.h>, <RizOrodOzido/capture.h>...
#   share/doc/rizorodozido/
#                 README.md, docs/*.md (in docs/), the example capture and the consumer example
# The tool and its man pages are installed from tools/CMakeLists.txt. On Linux, `cpack -G DEB`
# in the build folder makes a Debian package of all of it (scripts/check-package.sh checks it).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

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

# pkg-config: the file is written when installing, with the prefix installed to (cmake --install
# --prefix, or /usr in the Debian package, whose staging folder comes in through DESTDIR).
install(CODE "set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(version \"${PROJECT_VERSION}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/rizorodozido.pc.in\"
                 \"${PROJECT_BINARY_DIR}/rizorodozido.pc\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/rizorodozido.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(RIZ_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/rizorodozido)
file(GLOB riz_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${RIZ_DOC_DIR})
install(FILES ${riz_docs} DESTINATION ${RIZ_DOC_DIR}/docs)  # where the README links to them
install(FILES ${PROJECT_SOURCE_DIR}/examples/session.cap DESTINATION ${RIZ_DOC_DIR}/examples)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/consumer DESTINATION ${RIZ_DOC_DIR}/examples)

if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
endif()
