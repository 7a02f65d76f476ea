# The user's data base folder by the XDG base-directory rules: $XDG_DATA_HOME when it is an
# absolute path (a relative one is ignored), else ~/.local/share. Read from the environment
# of `cmake --install` or of the uninstall step, not from the configure run.
function(zv_xdg_data_home out)
    set(_home "$ENV{XDG_DATA_HOME}")
    if(NOT IS_ABSOLUTE "${_home}")
        set(_home "$ENV{HOME}/.local/share")
    endif()
    string(REGEX REPLACE "/+$" "" _home "${_home}")
    set(${out} "${_home}" PARENT_SCOPE)
endfunction()

# The user's folder of commands: $XDG_BIN_HOME when it is an absolute path, else the "bin"
# beside the data folder (~/.local/bin, which Debian's ~/.profile puts on the PATH).
function(zv_xdg_bin_home out)
    set(_bin "$ENV{XDG_BIN_HOME}")
    if(NOT IS_ABSOLUTE "${_bin}")
        zv_xdg_data_home(_data)
        get_filename_component(_bin "${_data}/../bin" ABSOLUTE)
    endif()
    string(REGEX REPLACE "/+$" "" _bin "${_bin}")
    set(${out} "${_bin}" PARENT_SCOPE)
endfunction()

# The command's name there: a link to the installed program, so that "jotboard --add-task"
# works in a terminal and in a keyboard shortcut's command.
set(ZVJ_COMMAND_NAME jotboard)

function(zv_xdg_config_home out)
    set(_home "$ENV{XDG_CONFIG_HOME}")
    if(NOT IS_ABSOLUTE "${_home}")
        set(_home "$ENV{HOME}/.config")
    endif()
    string(REGEX REPLACE "/+$" "" _home "${_home}")
    set(${out} "${_home}" PARENT_SCOPE)
endfunction()

# The sizes of the program's icon in the hicolor theme (and "scalable" for the SVG).
set(ZVJ_ICON_NAME zorvik-jotboard)
set(ZVJ_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ZVJ_ENTRY_NAME zorvik-jotboard.desktop)

# A desktop that keeps an icon cache for the user's theme folder gets it refreshed; where
# none is kept, none is made (a stale cache would hide icons other programs add later).
function(zv_refresh_icon_cache theme_dir)
    if(EXISTS "${theme_dir}/icon-theme.cache")
        find_program(_gtk_cache NAMES gtk-update-icon-cache gtk4-update-icon-cache)
        if(_gtk_cache)
            execute_process(COMMAND "${_gtk_cache}" --quiet --force --ignore-theme-index "${theme_dir}"
                            RESULT_VARIABLE _ignored)
        endif()
    endif()
endfunction()
