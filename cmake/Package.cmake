# Installed layout and the Debian package.
#
# The program folder (/opt/certquorix) keeps its meaning: the binaries, the act templates, the
# operator's Request.cer/Request.key when an administrator puts them there, and the settings file
# CertQuorix.ini. That file is a link to the administrator's configuration file in /etc, which
# sends each user to a settings file of their own under ~/.local/share/CertQuorix, where the
# certificate folders, the e-mail list and the logs of that user live. Everything a desktop
# expects (commands on PATH, menu entry, icons, manual pages, completion) goes under /usr.
#
# The destinations are relative, so `cmake --install --prefix DIR` lays out the same tree under
# DIR (its links still point into /opt and /etc, where the package puts their targets); the
# package installs it under /.

set(CQ_PACKAGE_PREFIX "/")
set(CQ_PACKAGE_LINKS ${CMAKE_BINARY_DIR}/package-links)
set(CQ_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${CQ_PACKAGE_LINKS} ${CQ_PACKAGE_FILES})

# A symbolic link made in the build folder and installed as a link.
function(cq_install_link target link_name destination)
    file(CREATE_LINK ${target} ${CQ_PACKAGE_LINKS}/${link_name} SYMBOLIC)
    install(FILES ${CQ_PACKAGE_LINKS}/${link_name} DESTINATION ${destination})
endfunction()

set(CQ_PROGRAM_PATH ${CQ_PACKAGE_PREFIX}${CQ_INSTALL_PROGRAM_DIR})
set(CQ_ADMIN_SETTINGS_DIR etc/certquorix)
install(FILES resources/package/CertQuorix.ini DESTINATION ${CQ_ADMIN_SETTINGS_DIR})
cq_install_link(${CQ_PACKAGE_PREFIX}${CQ_ADMIN_SETTINGS_DIR}/CertQuorix.ini CertQuorix.ini
    ${CQ_INSTALL_PROGRAM_DIR})
cq_install_link(${CQ_PROGRAM_PATH}/certquorix-cli certquorix-cli usr/bin)
if(TARGET certquorix)
    cq_install_link(${CQ_PROGRAM_PATH}/certquorix certquorix usr/bin)
endif()

# Manual pages and the changelog are installed compressed, without a time stamp in the header.
function(cq_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${source} ${output}
        DEPENDS ${source} VERBATIM)
endfunction()
set(CQ_GZIPPED)
foreach(page certquorix.1 certquorix-cli.1)
    cq_gzip(${CMAKE_SOURCE_DIR}/docs/man/${page} ${CQ_PACKAGE_FILES}/${page}.gz)
    list(APPEND CQ_GZIPPED ${CQ_PACKAGE_FILES}/${page}.gz)
    install(FILES ${CQ_PACKAGE_FILES}/${page}.gz DESTINATION usr/share/man/man1)
    # The Russian pages, which man shows under a Russian locale; the English ones above are
    # what it shows under any other.
    cq_gzip(${CMAKE_SOURCE_DIR}/docs/man/ru/${page} ${CQ_PACKAGE_FILES}/${page}.ru.gz)
    list(APPEND CQ_GZIPPED ${CQ_PACKAGE_FILES}/${page}.ru.gz)
    install(FILES ${CQ_PACKAGE_FILES}/${page}.ru.gz DESTINATION usr/share/man/ru/man1
            RENAME ${page}.gz)
endforeach()
cq_gzip(${CMAKE_SOURCE_DIR}/resources/package/changelog ${CQ_PACKAGE_FILES}/changelog.gz)
list(APPEND CQ_GZIPPED ${CQ_PACKAGE_FILES}/changelog.gz)
add_custom_target(certquorix_package_files ALL DEPENDS ${CQ_GZIPPED})
install(FILES ${CQ_PACKAGE_FILES}/changelog.gz resources/package/copyright
    DESTINATION usr/share/doc/certquorix)

install(FILES resources/completion/certquorix-cli
    DESTINATION usr/share/bash-completion/completions)

# The daily desktop notice: a systemd user timer and the service it starts, enabled for every
# user by the package's postinst.
install(FILES resources/package/systemd/certquorix-notify.service
    resources/package/systemd/certquorix-notify.timer DESTINATION usr/lib/systemd/user)

# Menu entry, icons and AppStream data: only with the window.
set(CQ_APP_ID org.certquorix.CertQuorix)
if(TARGET certquorix)
    install(FILES resources/desktop/${CQ_APP_ID}.desktop DESTINATION usr/share/applications)
    install(FILES resources/desktop/${CQ_APP_ID}.metainfo.xml DESTINATION usr/share/metainfo)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES resources/desktop/icons/${size}x${size}/${CQ_APP_ID}.png
            DESTINATION usr/share/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES resources/desktop/icons/scalable/${CQ_APP_ID}.svg
        DESTINATION usr/share/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME certquorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CQ_PACKAGE_PREFIX})
set(CPACK_PACKAGE_CONTACT "CertQuorix developers <dev@certquorix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client certificates for the certification service")
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CertQuorix requests an X.509 client certificate from the certification
service (an RSA key and PKCS#10 request made here, or a GOST R 34.10-2012
key made by a cryptographic provider), downloads the issued certificate,
checks it against the private key and exports it as PKCS#12. It has a Qt
window in Russian and a command-line tool, certquorix-cli, for scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools the program runs, besides the libraries it links, the face the window is drawn for
# (with the wider default face of a bare system, captions are cut), libcurl, which the first
# request opens at run time, so the shared-library scan cannot see it, and Qt's Wayland platform,
# so that the window runs natively in a Wayland session.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "openssl, xdg-utils, libengine-gost-openssl, fonts-liberation, libcurl4, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libnss3-tools, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
# The administrator's settings survive upgrades and are removed only by a purge.
file(WRITE ${CQ_PACKAGE_FILES}/conffiles "/${CQ_ADMIN_SETTINGS_DIR}/CertQuorix.ini\n")
file(COPY resources/package/postinst resources/package/prerm DESTINATION ${CQ_PACKAGE_FILES}
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
    WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CQ_PACKAGE_FILES}/conffiles ${CQ_PACKAGE_FILES}/postinst
    ${CQ_PACKAGE_FILES}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
