# Removes what `cmake --install` added for the user, and never the user's data:
#   cmake --build build --target uninstall
#   cmake [-DZVJ_PREFIX=<program folder>] -P resources/desktop/uninstall.cmake
# The program folder defaults to $XDG_DATA_HOME/zorvik-jotboard; the entry and the icon are
# looked for below the XDG data folder of this environment, as install put them.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/xdg.cmake")

zv_xdg_data_home(_data)
if(NOT ZVJ_PREFIX)
    set(ZVJ_PREFIX "${_data}/zorvik-jotboard")
endif()
get_filename_component(_prefix "${ZVJ_PREFIX}" ABSOLUTE)
set(_resources "${CMAKE_CURRENT_LIST_DIR}/..")

# The user's data: the database with its journal files, and the settings.
set(_data_files zvData.zvb zvData.zvb-wal zvData.zvb-shm zvData.zvb-journal zvConf.ini)

function(zv_remove path)
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
        message(STATUS "Removing: ${path}")
        file(REMOVE "${path}")
    endif()
endfunction()

function(zv_remove_dir_if_empty dir)
    if(IS_DIRECTORY "${dir}")
        file(GLOB _left LIST_DIRECTORIES true "${dir}/*" "${dir}/.*")
        list(FILTER _left EXCLUDE REGEX "/\\.\\.?$")
        if(NOT _left)
            message(STATUS "Removing: ${dir}/")
            file(REMOVE_RECURSE "${dir}")
        endif()
    endif()
endfunction()

# The program folder's files, as install copies them from resources/.
set(_files jotboard jotboard-help.html)
foreach(_folder Images Sounds)
    file(GLOB _shipped RELATIVE "${_resources}" "${_resources}/${_folder}/*")
    list(APPEND _files ${_shipped})
endforeach()
foreach(_f ${_files})
    get_filename_component(_name "${_f}" NAME)
    if(NOT _name IN_LIST _data_files)
        zv_remove("${_prefix}/${_f}")
    endif()
endforeach()
foreach(_folder Images Sounds Temp)
    zv_remove_dir_if_empty("${_prefix}/${_folder}")
endforeach()

# The application-menu entry and the icon.
zv_remove("${_data}/applications/${ZVJ_ENTRY_NAME}")
set(_theme "${_data}/icons/hicolor")
foreach(_size ${ZVJ_ICON_SIZES})
    zv_remove("${_theme}/${_size}x${_size}/apps/${ZVJ_ICON_NAME}.png")
endforeach()
zv_remove("${_theme}/scalable/apps/${ZVJ_ICON_NAME}.svg")
zv_refresh_icon_cache("${_theme}")

# The command, when it is the link to this program.
zv_xdg_bin_home(_bin)
set(_link "${_bin}/${ZVJ_COMMAND_NAME}")
if(IS_SYMLINK "${_link}")
    file(READ_SYMLINK "${_link}" _target)
    if(_target STREQUAL "${_prefix}/jotboard")
        zv_remove("${_link}")
    endif()
endif()

# An autostart entry that starts this program would fail at every log-in once it is gone.
zv_xdg_config_home(_config)
set(_autostart "${_config}/autostart/Zorvik Jotboard.desktop")
if(EXISTS "${_autostart}")
    file(READ "${_autostart}" _text)
    string(FIND "${_text}" "${_prefix}/jotboard\"" _at)
    if(_at GREATER -1)
        zv_remove("${_autostart}")
    endif()
endif()

# What stays, and where.
set(_kept)
foreach(_name ${_data_files})
    if(EXISTS "${_prefix}/${_name}")
        list(APPEND _kept "${_name}")
    endif()
endforeach()
zv_remove_dir_if_empty("${_prefix}")
if(_kept)
    list(JOIN _kept ", " _kept)
    message(STATUS "Your data stays in ${_prefix}/ (${_kept}); delete that folder to remove it too.")
elseif(EXISTS "${_prefix}")
    message(STATUS "Files of your own stay in ${_prefix}/.")
else()
    message(STATUS "Zorvik Jotboard is uninstalled; no data of yours was left in ${_prefix}/.")
endif()
