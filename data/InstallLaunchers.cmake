# Runs at install time: writes the desktop entries and the D-Bus service file with the installed programs' full
# path and installs them. CMAKE_INSTALL_PREFIX is the prefix being installed to; DESTDIR, when set, is added by
# file(INSTALL).
foreach(dir BINDIR DATADIR)
    if(IS_ABSOLUTE "${NAVILONIX_INSTALL_${dir}}")
        set(${dir} "${NAVILONIX_INSTALL_${dir}}")
    else()
        set(${dir} "${CMAKE_INSTALL_PREFIX}/${NAVILONIX_INSTALL_${dir}}")
    endif()
endforeach()

# Both files split Exec at blanks and give meaning to quotes, backslashes, dollars and per cents: a path with any
# of those cannot be named safely, so say so instead of writing a launcher that starts nothing.
if(BINDIR MATCHES "[ \t\n\"'\\\\$%`]")
    message(FATAL_ERROR "cannot install into \"${CMAKE_INSTALL_PREFIX}\": the menu entries and the D-Bus service "
                        "file cannot name a program whose path holds blanks, quotes, '\\', '$', '%' or '`'; "
                        "choose a prefix without them")
endif()
set(NAVILONIX_BINDIR "${BINDIR}")

foreach(file ru.navilonix.NavilonixOle.desktop ru.navilonix.NavilonixServer.desktop
             ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB.service)
    configure_file("${NAVILONIX_SOURCE_DIR}/${file}.in" "${NAVILONIX_STAGE_DIR}/${file}" @ONLY)
endforeach()
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE
     FILES "${NAVILONIX_STAGE_DIR}/ru.navilonix.NavilonixOle.desktop"
           "${NAVILONIX_STAGE_DIR}/ru.navilonix.NavilonixServer.desktop")
file(INSTALL DESTINATION "${DATADIR}/dbus-1/services" TYPE FILE
     FILES "${NAVILONIX_STAGE_DIR}/ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB.service")
