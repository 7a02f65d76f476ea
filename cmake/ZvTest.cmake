# add_unit_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# Every test runs headless and with its own program folder (the test makes it). Its time
# limit (default 120 s) is scaled for slow instrumented builds; ZVJ_TIMEOUT_SCALE tells the
# test the same factor for waits of its own.
function(add_unit_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zvtestsupport Qt6::Test)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    zv_test_timeout(T_TIMEOUT ${T_TIMEOUT})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZVJ_CHECKS=1;ZVJ_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZVJ_STAGE_DIR=${ZVJ_STAGE_DIR};ZVJ_SCHEMA=${CMAKE_SOURCE_DIR}/resources/schema.sql;ZVJ_TIMEOUT_SCALE=${ZVJ_TEST_TIMEOUT_SCALE}")
endfunction()

# zv_folder_library(<target> <public deps...>): one static library per source folder,
# made of every .cpp/.h in it (an interface target while the folder is still empty).
function(zv_folder_library NAME)
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER _src EXCLUDE REGEX "/main\\.cpp$")
    if(_src)
        add_library(${NAME} STATIC ${_src})
        # Includes name the layer ("store/ZvDb.h"): the project root is the one include folder.
        target_include_directories(${NAME} PUBLIC ${CMAKE_SOURCE_DIR})
        target_link_libraries(${NAME} PUBLIC ${ARGN})
    else()
        add_library(${NAME} INTERFACE)
        target_include_directories(${NAME} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${NAME} INTERFACE ${ARGN})
    endif()
endfunction()
