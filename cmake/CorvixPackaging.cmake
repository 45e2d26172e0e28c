# SPDX-License-Identifier: Apache-2.0
# Package documents and the Debian package (cpack -G DEB, or the release preset's package).

set(CPACK_PACKAGE_CONTACT "Corvix developers <packages@corvix.org>")

# /usr/share/doc/corvix: the copyright notice and a Debian-format changelog (gzip -n: no
# name or time stamp, so the bytes do not depend on the build).
set(doc_dir "${PROJECT_BINARY_DIR}/package-doc")
configure_file("${PROJECT_SOURCE_DIR}/data/debian/copyright.in" "${doc_dir}/copyright" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/data/debian/changelog.in" "${doc_dir}/changelog" @ONLY)
add_custom_command(OUTPUT "${doc_dir}/changelog.gz"
    COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${doc_dir}/changelog" > "${doc_dir}/changelog.gz"
    DEPENDS "${doc_dir}/changelog"
    VERBATIM)
add_custom_target(corvix_package_doc ALL DEPENDS "${doc_dir}/changelog.gz")
install(FILES "${doc_dir}/copyright" "${doc_dir}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/corvix")

set(CPACK_PACKAGE_NAME corvix)
set(CPACK_PACKAGE_VENDOR "The Corvix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and watch an industrial device over RS232")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvix is a desktop program for field engineers who configure and watch an
industrial device over an RS232 line. It keeps a project of up to 20 devices
in a .mac file, reads a device's configuration and writes it back, watches
the device's binary signals and new events, reads the stored event log,
drives the output test, sets the device clock and shows every frame on the
wire. The interface speaks Chinese and English.

The package also holds corvix-cli, a scripting front end, and corvix-devsim,
a simulated device on a pseudo-terminal.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY corvix)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
# Directories in the package are 0755 whatever the umask of the machine that builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CORVIX_HOMEPAGE}")
# Dependencies are what dpkg-shlibdeps finds the programs linked against, and libgit2, which
# the programs load when they first open the settings history.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CORVIX_LIBGIT2_PACKAGE)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CORVIX_LIBGIT2_PACKAGE}")
endif()
# No library, but the font the Chinese interface and the report's PDF are drawn with.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

include(CPack)
