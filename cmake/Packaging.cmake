# `cmake --install` and `cpack -G DEB`: the tool, the programs, the MCU library, the driver
# plugin and the panel's bitmaps, laid out under <prefix>/lib/headunit exactly as in the build
# tree (bin/, lib/, share/headunit/), so every program finds its siblings the same way, and
# <prefix>/bin/hu pointing at the tool.

set(HU_INSTALL_DIR lib/headunit)

# Programs find the MCU library beside them, in the build tree and installed alike.
set_target_properties(hu UpdateXan ZEK_Update Kelo_ZEK McuLoaderDLL sim_drivers PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")

install(TARGETS hu UpdateXan ZEK_Update Kelo_ZEK RUNTIME DESTINATION ${HU_INSTALL_DIR}/bin)
install(TARGETS McuLoaderDLL LIBRARY DESTINATION ${HU_INSTALL_DIR}/lib)
install(TARGETS sim_drivers LIBRARY DESTINATION ${HU_INSTALL_DIR}/lib)
install(DIRECTORY ${CMAKE_BINARY_DIR}/share/headunit/ DESTINATION ${HU_INSTALL_DIR}/share/headunit)
install(CODE [[
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(CREATE_LINK ../lib/headunit/bin/hu "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/hu" SYMBOLIC)
]])

set(CPACK_PACKAGE_NAME headunit-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Head-unit software team <headunit@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hu, the head unit's update programs and their simulators")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The shared libraries' packages come from dpkg-shlibdeps; the fonts the programs draw with
# and the panel package carries are data, named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-nanum, fonts-dejavu-core")
include(CPack)
