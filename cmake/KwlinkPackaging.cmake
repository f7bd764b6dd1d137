# Release packages, made with cpack in a Release build tree:
# - the Windows build gives kwlink-<version>-win32.zip: one folder kwlink/ with the program, its
#   data files and a README.txt, to be unpacked beside a shop PC's other tools. Kwlink.cfg is not
#   in it: the program creates it, so unpacking an update never overwrites a user's port.
#   (A 64-bit Windows build names its zip ...-win64.zip; only the tests make that one.)
# - the native build gives kwlink_<version>_amd64.deb: the programs and data files in the program
#   directory /opt/kwlink (root's alone), links in /usr/bin, manual pages, documentation and
#   examples. The maintainer scripts make the data directory /var/opt/kwlink for what users'
#   jobs keep; the program is built with it (KWLINK_DATA_DIR, tools/package.sh).
# tools/package.sh builds both into build/packages/.

set(KWLINK_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(KWLINK_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${KWLINK_PACKAGE_STAGE})

set(CPACK_PACKAGE_NAME kwlink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kwlink project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exchange table data between a PC and a retail scale")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(kwlink_windows_arch win64)
    else()
        set(kwlink_windows_arch win32)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME kwlink-${PROJECT_VERSION}-${kwlink_windows_arch})
    # The folder inside the zip is kwlink/, whatever the version: an update unpacks over the
    # old folder and keeps the user's Kwlink.cfg.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    install(TARGETS kwlink RUNTIME DESTINATION kwlink)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION kwlink PATTERN samples EXCLUDE)
    # A Windows user opens README.txt with Notepad: CR LF line ends, plain ASCII.
    configure_file(${KWLINK_PACKAGING}/windows/README.txt.in ${KWLINK_PACKAGE_STAGE}/README.txt
        @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${KWLINK_PACKAGE_STAGE}/README.txt DESTINATION kwlink)
else()
    set(CPACK_GENERATOR DEB)
    # Destinations below are relative to the root of the installed system.
    set(CPACK_PACKAGING_INSTALL_PREFIX /)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kwlink maintainers <kwlink@example.org>")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The long description; cpack puts the summary above it as the synopsis line.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "kwlink runs one job per call, given as a job string: it fetches the tables of
a retail scale over a serial line into CSV files of a working directory, or
sends such files back to the scale. It learns the scale's tables from the
description tables the scale holds and keeps them below /var/opt/kwlink.
.
The package also holds kwlink-scale-sim, a simulated scale on a
pseudo-terminal, for trying the program without a scale.")
    # The dependencies come from the binaries (dpkg-shlibdeps), not from a hand-written list.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KWLINK_PACKAGING}/debian/preinst
        ${KWLINK_PACKAGING}/debian/postinst ${KWLINK_PACKAGING}/debian/postrm)

    set(kwlink_opt opt/kwlink)
    install(TARGETS kwlink RUNTIME DESTINATION ${kwlink_opt})
    if(TARGET kwlink-scale-sim)
        install(TARGETS kwlink-scale-sim RUNTIME DESTINATION ${kwlink_opt})
    endif()
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${kwlink_opt} PATTERN samples EXCLUDE)

    # /usr/bin holds links into the program directory; the program finds its directory
    # through the link (it resolves its own executable's path).
    foreach(program kwlink kwlink-scale-sim)
        file(CREATE_LINK /${kwlink_opt}/${program} ${KWLINK_PACKAGE_STAGE}/${program} SYMBOLIC)
        install(FILES ${KWLINK_PACKAGE_STAGE}/${program} DESTINATION usr/bin)
    endforeach()

    # Manual pages and the changelog, compressed as Debian wants them (no name, no time stamp).
    find_program(KWLINK_GZIP gzip REQUIRED)
    set(kwlink_compressed)
    foreach(page kwlink.1 kwlink-scale-sim.1)
        configure_file(${KWLINK_PACKAGING}/man/${page}.in ${KWLINK_PACKAGE_STAGE}/${page} @ONLY)
        add_custom_command(OUTPUT ${KWLINK_PACKAGE_STAGE}/${page}.gz
            COMMAND ${KWLINK_GZIP} -9n -c ${KWLINK_PACKAGE_STAGE}/${page} > ${KWLINK_PACKAGE_STAGE}/${page}.gz
            DEPENDS ${KWLINK_PACKAGE_STAGE}/${page})
        list(APPEND kwlink_compressed ${KWLINK_PACKAGE_STAGE}/${page}.gz)
        install(FILES ${KWLINK_PACKAGE_STAGE}/${page}.gz DESTINATION usr/share/man/man1)
    endforeach()
    configure_file(${KWLINK_PACKAGING}/debian/changelog.in ${KWLINK_PACKAGE_STAGE}/changelog @ONLY)
    add_custom_command(OUTPUT ${KWLINK_PACKAGE_STAGE}/changelog.gz
        COMMAND ${KWLINK_GZIP} -9n -c ${KWLINK_PACKAGE_STAGE}/changelog > ${KWLINK_PACKAGE_STAGE}/changelog.gz
        DEPENDS ${KWLINK_PACKAGE_STAGE}/changelog)
    list(APPEND kwlink_compressed ${KWLINK_PACKAGE_STAGE}/changelog.gz)
    add_custom_target(kwlink_package_files ALL DEPENDS ${kwlink_compressed})

    set(kwlink_doc usr/share/doc/kwlink)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md ${KWLINK_PACKAGING}/debian/copyright
        ${KWLINK_PACKAGE_STAGE}/changelog.gz DESTINATION ${kwlink_doc})
    install(FILES ${KWLINK_PACKAGING}/examples/kwlink-backup@.service
        ${KWLINK_PACKAGING}/examples/kwlink-backup@.timer
        ${KWLINK_PACKAGING}/examples/kwlink-shop1.default
        ${CMAKE_SOURCE_DIR}/data/samples/generic_scale.txt
        DESTINATION ${kwlink_doc}/examples)
    install(FILES ${KWLINK_PACKAGING}/debian/lintian-overrides
        DESTINATION usr/share/lintian/overrides RENAME kwlink)
endif()

include(CPack)
