# The message catalogs: po/<language>.po compiled to locale/<language>/LC_MESSAGES/certquorix.mo
# in the build tree (the programs there find it beside themselves) and installed under
# usr/share/locale. Every build checks first that each catalog translates every text the code
# marks, with no fuzzy entry.
find_program(CQ_MSGFMT msgfmt REQUIRED)
find_program(CQ_XGETTEXT xgettext REQUIRED)
set(CQ_CATALOG_LANGUAGES en)
file(GLOB_RECURSE CQ_MARKED_SOURCES CONFIGURE_DEPENDS src/*.cpp src/*.h)
set(CQ_CATALOG_FILES)
foreach(language ${CQ_CATALOG_LANGUAGES})
    set(po ${CMAKE_SOURCE_DIR}/po/${language}.po)
    set(checked ${CMAKE_BINARY_DIR}/po/${language}.checked)
    set(mo ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/certquorix.mo)
    add_custom_command(OUTPUT ${checked}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/po
        COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-catalog.sh ${CMAKE_SOURCE_DIR} ${po}
            ${CMAKE_BINARY_DIR}/po/certquorix.pot
        COMMAND ${CMAKE_COMMAND} -E touch ${checked}
        DEPENDS ${po} ${CQ_MARKED_SOURCES} ${CMAKE_SOURCE_DIR}/scripts/check-catalog.sh
        COMMENT "Checking that po/${language}.po translates every marked text"
        VERBATIM)
    add_custom_command(OUTPUT ${mo}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES
        COMMAND ${CQ_MSGFMT} --check --output-file=${mo} ${po}
        DEPENDS ${po} ${checked}
        COMMENT "Compiling po/${language}.po"
        VERBATIM)
    list(APPEND CQ_CATALOG_FILES ${mo})
    install(FILES ${mo} DESTINATION usr/share/locale/${language}/LC_MESSAGES)
endforeach()
add_custom_target(catalogs ALL DEPENDS ${CQ_CATALOG_FILES})
