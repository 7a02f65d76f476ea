# Run by `cmake --install` after the program folder is in place: the application-menu entry
# and the program's icon, for the user who installs. The program folder is
# CMAKE_INSTALL_PREFIX (the entry's Exec names the executable there); entry and icon go
# below the XDG data folder of the installing environment.
# Set by the caller: ZVJ_DESKTOP_TOOL (writes the entry), ZVJ_ICON_SOURCE (the theme pictures).
include("${CMAKE_CURRENT_LIST_DIR}/xdg.cmake")

zv_xdg_data_home(_data)
get_filename_component(_program "${CMAKE_INSTALL_PREFIX}/jotboard" ABSOLUTE)

set(_entry "${_data}/applications/${ZVJ_ENTRY_NAME}")
message(STATUS "Installing: $ENV{DESTDIR}${_entry}")
execute_process(COMMAND "${ZVJ_DESKTOP_TOOL}" "${_program}" "$ENV{DESTDIR}${_entry}" RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "Could not write ${_entry}")
endif()
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${_entry}")

set(_theme "${_data}/icons/hicolor")
foreach(_size ${ZVJ_ICON_SIZES})
    file(INSTALL DESTINATION "${_theme}/${_size}x${_size}/apps" TYPE FILE
         FILES "${ZVJ_ICON_SOURCE}/${_size}x${_size}/apps/${ZVJ_ICON_NAME}.png")
endforeach()
file(INSTALL DESTINATION "${_theme}/scalable/apps" TYPE FILE
     FILES "${ZVJ_ICON_SOURCE}/scalable/apps/${ZVJ_ICON_NAME}.svg")
if("$ENV{DESTDIR}" STREQUAL "")
    zv_refresh_icon_cache("${_theme}")
endif()

# The command: a link in the user's folder of commands, never over a file of another program.
zv_xdg_bin_home(_bin)
set(_link "$ENV{DESTDIR}${_bin}/${ZVJ_COMMAND_NAME}")
if(IS_SYMLINK "${_link}" OR NOT EXISTS "${_link}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${_bin}")
    message(STATUS "Installing: ${_link} -> ${_program}")
    file(CREATE_LINK "${_program}" "${_link}" SYMBOLIC RESULT _rc)
    if(NOT _rc EQUAL 0)
        message(WARNING "Could not make the command ${_link}: ${_rc}")
    else()
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")
    endif()
else()
    message(STATUS "Not replaced: ${_link} (a file of another program); the command is ${_program}")
endif()
