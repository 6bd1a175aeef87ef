# Installs the build into a scratch prefix and checks the desktop integration there: the program,
# a desktop entry and an AppStream record that their validators accept, and the icon, all named
# after the application id.
set(prefix ${BUILD_DIR}/install-check)
set(app_id org.moonforge.Moonforge)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
foreach(path bin/moonforge share/applications/${app_id}.desktop
        share/metainfo/${app_id}.metainfo.xml share/icons/hicolor/scalable/apps/${app_id}.svg)
    if(NOT EXISTS ${prefix}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()

foreach(tool DESKTOP_FILE_VALIDATE APPSTREAMCLI)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} is missing (scripts/setup installs it)")
    endif()
endforeach()
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${prefix}/share/applications/${app_id}.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR output MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate: ${output}")
endif()
# Warnings fail validation too; only pedantic hints (such as the capitals of the id) pass.
execute_process(COMMAND ${APPSTREAMCLI} validate --no-net
        ${prefix}/share/metainfo/${app_id}.metainfo.xml
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${output}")
endif()

# The record must name what is installed beside it, or software centres cannot pair them.
file(READ ${prefix}/share/metainfo/${app_id}.metainfo.xml metainfo)
foreach(expected "<id>${app_id}</id>" "<launchable type=\"desktop-id\">${app_id}.desktop</launchable>"
        "<binary>moonforge</binary>" "<release version=\"${VERSION}\"")
    string(FIND "${metainfo}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the AppStream record lacks ${expected}")
    endif()
endforeach()
file(STRINGS ${prefix}/share/applications/${app_id}.desktop icon_line REGEX "^Icon=")
if(NOT icon_line STREQUAL "Icon=${app_id}")
    message(FATAL_ERROR "the desktop entry names another icon: ${icon_line}")
endif()
# Files reach the program from the file manager ("Open With"), as URIs.
file(STRINGS ${prefix}/share/applications/${app_id}.desktop exec_line REGEX "^Exec=")
file(STRINGS ${prefix}/share/applications/${app_id}.desktop mime_line REGEX "^MimeType=")
if(NOT exec_line STREQUAL "Exec=moonforge %U" OR NOT mime_line MATCHES "image/jpeg" OR
        NOT mime_line MATCHES "image/png")
    message(FATAL_ERROR "the desktop entry takes no images: ${exec_line} ${mime_line}")
endif()
file(REMOVE_RECURSE ${prefix})
