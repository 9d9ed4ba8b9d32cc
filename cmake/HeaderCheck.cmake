# Every public header compiles on its own: one generated source per header, each including only
# that header (twice, so that a missing include guard shows too), built as an object library with
# the project's warnings. Built with whichever compiler configures the tree (g++ and clang).
function(tolvik_add_header_check target)
    set(sources "")
    foreach(header IN LISTS ARGN)
        file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR}/include ${header})
        string(MAKE_C_IDENTIFIER "${relative}" name)
        set(source ${CMAKE_CURRENT_BINARY_DIR}/header_check/${name}.cpp)
        file(CONFIGURE OUTPUT ${source} CONTENT "#include <${relative}>\n#include <${relative}>\n")
        list(APPEND sources ${source})
    endforeach()
    add_library(${target} OBJECT ${sources})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include)
    target_compile_features(${target} PRIVATE cxx_std_20)
    target_compile_options(${target} PRIVATE ${TOLVIK_WARNINGS})
endfunction()
