# Settings compiled into the program (it reads no configuration), each in two builds.
#
# ql_compiled_settings(<name> SOURCE <file> LIBS <libraries…> SHIPPED <definitions…> E2E <definitions…>)
#   The static library <name> compiles <file> with the SHIPPED definitions: the library that
#   needs the settings links it, so every program gets the shipped ones. The object library
#   <name>_e2e compiles the same file with the E2E definitions, for the end-to-end test build
#   of the program (ql_program(<program> <name>_e2e)): an object's definitions are in place
#   before any archive is searched, so the linker never takes the shipped library's member.
# ql_compiled_settings(<name> VARIANT <suffix> E2E <definitions…>)
#   One more end-to-end build of settings <name> made before: the object library
#   <name>_<suffix>, its file compiled with these definitions.
function(ql_compiled_settings name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE;VARIANT" "LIBS;SHIPPED;E2E")
    if(arg_VARIANT)
        get_target_property(source ${name} QL_SETTINGS_SOURCE)
        set(suffix ${arg_VARIANT})
    else()
        get_filename_component(source ${arg_SOURCE} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        add_library(${name} STATIC ${source})
        target_compile_definitions(${name} PRIVATE ${arg_SHIPPED})
        target_link_libraries(${name} PUBLIC ${arg_LIBS})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        set_property(TARGET ${name} PROPERTY QL_SETTINGS_SOURCE ${source})
        set(suffix e2e)
    endif()

    add_library(${name}_${suffix} OBJECT ${source})
    target_compile_definitions(${name}_${suffix} PRIVATE ${arg_E2E})
    target_include_directories(${name}_${suffix} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# ql_e2e_port(<variable> <offset> <lowest> <description>): the internal cache variable
# <variable>, a port for an end-to-end test server from <lowest> to <lowest> + 9999, derived
# from the build folder (four hex digits of its hash, from <offset> on), so that end-to-end
# runs in different build folders never meet. Each server takes its own offset and range,
# below the system's outgoing ports (32768 and up).
function(ql_e2e_port variable offset lowest description)
    string(MD5 hash "${CMAKE_BINARY_DIR}")
    string(SUBSTRING "${hash}" ${offset} 4 hash)
    math(EXPR port "0x${hash} % 10000 + ${lowest}")
    set(${variable} ${port} CACHE INTERNAL "${description}")
endfunction()
