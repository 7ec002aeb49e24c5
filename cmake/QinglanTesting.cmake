# Test programs: GoogleTest built from the system's sources, the same in both builds.
#
#   ql_add_test(<name> SOURCES <files…> [LIBS <targets…>] [TIMEOUT <s>] [CODEPAGES <cp…>]
#               [PORTABLE] [LOCKS <resource…>] [ONCE <gtest pattern>])
#
# Natively every test case becomes its own ctest test. In the Windows build the program runs
# under Wine once per code page (default: 1252 and 936), as <name>.cp1252 and <name>.cp936;
# the PORTABLE programs without further options are built there as one, portable_tests.
# ONCE names the test cases (a GoogleTest filter pattern) that do not depend on the code page:
# they run in the first code page's session only (QL_ONCE_CODEPAGE).
#
#   ql_add_wine_command_test(<name> COMMAND <cmd…> [TIMEOUT <s>] [CODEPAGES <cp…>]
#                            [PORTABLE] [LOCKS <resource…>])
#
# Windows build only: runs a host command (a Python driver, a shell script) inside the Wine
# session of each code page, with WINEPREFIX, DISPLAY and LC_ALL set; the Windows build folder
# is in QL_BUILD_DIR.
#
# The Windows tests run in parallel. Each code page's session has a display, a clipboard, a
# desktop and an Internet cache and cookie store of its own, which its tests share: a Windows
# test holds the resource lock wine.desktop.cp<cp> while it runs, so the tests of one code page
# take turns while the two code pages run side by side. PORTABLE marks a program that touches
# none of these (no window, clipboard, message box or Internet access): it takes no lock. LOCKS
# names further shared things, such as a fixed port that both code pages' runs listen on, or
# (with PORTABLE) the one shared thing of a program that uses no window: "@CP@" in a name
# stands for the code page.
#
# A driver learns its code page from QL_WINE_CODEPAGE; the checks that do not depend on it run
# only where it equals QL_ONCE_CODEPAGE (also in the environment).

if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

include(GoogleTest)

set(QL_DEFAULT_CODEPAGES 1252 936)
set(QL_ONCE_CODEPAGE 1252)

# One ctest test per code page, <name>.cp<cp>, inside the Wine session of that code page.
# "@CP@" in the command stands for the code page. `portable`, `locks` and `once` as above.
function(_ql_add_wine_runs name timeout codepages portable locks once)
    if(NOT codepages)
        set(codepages ${QL_DEFAULT_CODEPAGES})
    endif()
    foreach(cp IN LISTS codepages)
        string(REPLACE "@CP@" "${cp}" command "${ARGN}")
        if(once AND NOT cp STREQUAL QL_ONCE_CODEPAGE)
            list(APPEND command "--gtest_filter=-${once}")
        endif()
        add_test(NAME ${name}.cp${cp} COMMAND ${command})
        string(REPLACE "@CP@" "${cp}" test_locks "${locks}")
        if(NOT portable)
            list(APPEND test_locks wine.desktop.cp${cp})
        endif()
        set_tests_properties(${name}.cp${cp} PROPERTIES
            ENVIRONMENT "QL_WINE_CODEPAGE=${cp};QL_ONCE_CODEPAGE=${QL_ONCE_CODEPAGE};QL_BUILD_DIR=${CMAKE_BINARY_DIR}"
            FIXTURES_REQUIRED wine_session
            TIMEOUT ${timeout})
        if(test_locks)
            set_tests_properties(${name}.cp${cp} PROPERTIES RESOURCE_LOCK "${test_locks}")
        endif()
    endforeach()
endfunction()

function(ql_add_test name)
    cmake_parse_arguments(T "PORTABLE" "TIMEOUT;ONCE" "SOURCES;LIBS;CODEPAGES;LOCKS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(CMAKE_CROSSCOMPILING AND T_PORTABLE AND NOT T_ONCE AND NOT T_CODEPAGES AND NOT T_LOCKS)
        # In the Windows build the plain portable programs are one program, portable_tests
        # (ql_add_portable_tests): a static link costs more than such a program's run.
        list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
        set_property(GLOBAL APPEND PROPERTY QL_PORTABLE_TEST_SOURCES ${T_SOURCES})
        set_property(GLOBAL APPEND PROPERTY QL_PORTABLE_TEST_LIBS ${T_LIBS})
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE QL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(CMAKE_CROSSCOMPILING)
        # The emulator (wine-run) picks the session from QL_WINE_CODEPAGE.
        _ql_add_wine_runs(${name} ${T_TIMEOUT} "${T_CODEPAGES}" "${T_PORTABLE}" "${T_LOCKS}" "${T_ONCE}" ${name})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
            PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QL_BUILD_DIR=${CMAKE_BINARY_DIR}")
    endif()
endfunction()

# Windows build only: the one program of the plain PORTABLE tests (see ql_add_test), run in
# both code pages as portable_tests.cp<cp>. Called once, after every ql_add_test.
function(ql_add_portable_tests)
    get_property(sources GLOBAL PROPERTY QL_PORTABLE_TEST_SOURCES)
    get_property(libs GLOBAL PROPERTY QL_PORTABLE_TEST_LIBS)
    if(NOT CMAKE_CROSSCOMPILING OR NOT sources)
        return()
    endif()
    list(REMOVE_DUPLICATES libs)
    add_executable(portable_tests ${sources})
    target_link_libraries(portable_tests PRIVATE ${libs} gtest_main)
    target_include_directories(portable_tests PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(portable_tests PRIVATE QL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    _ql_add_wine_runs(portable_tests 120 "" TRUE "" "" portable_tests)
endfunction()

function(ql_add_wine_command_test name)
    cmake_parse_arguments(T "PORTABLE" "TIMEOUT" "COMMAND;CODEPAGES;LOCKS" ${ARGN})
    if(NOT CMAKE_CROSSCOMPILING)
        return()
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 180)
    endif()
    _ql_add_wine_runs(${name} ${T_TIMEOUT} "${T_CODEPAGES}" "${T_PORTABLE}" "${T_LOCKS}" ""
        ${PROJECT_SOURCE_DIR}/scripts/wine-session exec ${CMAKE_BINARY_DIR} @CP@ ${T_COMMAND})
endfunction()

if(CMAKE_CROSSCOMPILING)
    add_test(NAME wine.session.start COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session start ${CMAKE_BINARY_DIR})
    set_tests_properties(wine.session.start PROPERTIES FIXTURES_SETUP wine_session TIMEOUT 300)
    add_test(NAME wine.session.stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session stop ${CMAKE_BINARY_DIR})
    set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine_session)
endif()
