cmake_minimum_required(VERSION 3.25)
# Makes the Debian package from the test build (no second compile) and checks what it holds: the
# program, its desktop files and nothing else, and dependencies that dpkg-shlibdeps worked out.
set(out ${BUILD_DIR}/package-check)
set(app_id org.moonforge.Moonforge)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${out}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB debs ${out}/moonforge_*.deb)
list(LENGTH debs count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made no package: ${output}")
endif()

execute_process(COMMAND dpkg-deb --contents ${debs} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${debs}")
endif()
# One line per entry, the path last; directories end with a slash.
string(REGEX MATCHALL " \\./usr/[^\n]*[^/\n]\n" files "${listing}")
set(expected ./usr/bin/moonforge ./usr/share/applications/${app_id}.desktop
    ./usr/share/metainfo/${app_id}.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/${app_id}.svg
    ./usr/share/doc/moonforge/LICENSE.icons)
foreach(path ${expected})
    if(NOT "${listing}" MATCHES " ${path}\n")
        message(FATAL_ERROR "the package lacks ${path}:\n${listing}")
    endif()
endforeach()
foreach(line ${files})
    string(STRIP "${line}" path)
    if(NOT path IN_LIST expected)
        message(FATAL_ERROR "the package carries ${path}, which it should not")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb --field ${debs} Package Version Section Depends
    OUTPUT_VARIABLE fields RESULT_VARIABLE result)
foreach(pattern "Package: moonforge\n" "Version: ${VERSION}-1\n" "Section: graphics\n"
        "Depends:[^\n]* libqt6core6 " "Depends:[^\n]* libqt6widgets6 "
        "Depends:[^\n]* libqt6network6 " "Depends:[^\n]* libsecret-1-0 "
        "Depends:[^\n]* libheif1 " "Depends:[^\n]* libraw20 "
        "Depends:[^\n]* libffmpegthumbnailer4v5")
    if(NOT "${fields}" MATCHES "${pattern}")
        message(FATAL_ERROR "the package's fields do not match ${pattern}:\n${fields}")
    endif()
endforeach()
file(REMOVE_RECURSE ${out})
