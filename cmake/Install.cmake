# What `cmake --install` puts where, and the Debian package made of it.
include(GNUInstallDirs)

install(TARGETS ovs-viewer ovs-run ovs-reader-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/ovs-viewer.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/ovs-viewer.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/ovra.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ovs-viewer.svg)

# The pages of the programs with options come from their --help texts.
set(_ovs_man_dir ${CMAKE_BINARY_DIR}/man)
set(_ovs_man_pages ${PROJECT_SOURCE_DIR}/docs/man/ovs-viewer.1)
string(TIMESTAMP _ovs_man_date "%Y-%m-%d" UTC)
foreach(program_and_summary
        "ovs-run|run bench work on a radio reader without a window"
        "ovs-reader-sim|a simulated radio reader for OVS-Viewer and ovs-run")
    string(REPLACE "|" ";" _pair "${program_and_summary}")
    list(GET _pair 0 _program)
    list(GET _pair 1 _summary)
    add_custom_command(OUTPUT ${_ovs_man_dir}/${_program}.1
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_ovs_man_dir}
        COMMAND ${CMAKE_COMMAND} -E env OVS_LINK_TRACE=0 ${CMAKE_COMMAND}
            -DPROGRAM=$<TARGET_FILE:${_program}> -DNAME=${_program} "-DSUMMARY=${_summary}"
            -DDATE=${_ovs_man_date} -DOUTPUT=${_ovs_man_dir}/${_program}.1
            -P ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
        DEPENDS ${_program} ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
        VERBATIM)
    list(APPEND _ovs_man_pages ${_ovs_man_dir}/${_program}.1)
endforeach()
add_custom_target(ovs_man_pages ALL DEPENDS ${_ovs_man_pages})
install(FILES ${_ovs_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovs-viewer)
set(CPACK_PACKAGE_VENDOR "OVS-Viewer")
set(CPACK_PACKAGE_CONTACT "OVS-Viewer developers <ovs-viewer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Workbench for radio readers on serial ports and TCP")
set(CPACK_PACKAGE_DESCRIPTION
    "Connects to many radio readers at once over the TSL serial protocol or TCP, shows and logs every frame, sends and repeats commands, runs scripts, and upgrades firmware of readers and distant nodes. Comes with ovs-run, the same work without a window, and ovs-reader-sim, a simulated reader.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Computed from the programs' libraries by dpkg-shlibdeps, never written by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
