# Installs the build into a scratch prefix and checks the desktop integration there.
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
foreach(path bin/moonforge share/applications/moonforge.desktop
        share/icons/hicolor/scalable/apps/moonforge.svg)
    if(NOT EXISTS ${prefix}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
if(NOT VALIDATE)
    message(FATAL_ERROR "desktop-file-validate is missing (scripts/setup installs it)")
endif()
execute_process(COMMAND ${VALIDATE} ${prefix}/share/applications/moonforge.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR output MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate: ${output}")
endif()
file(REMOVE_RECURSE ${prefix})
