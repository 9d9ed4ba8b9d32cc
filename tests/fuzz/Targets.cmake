# Sources of the fuzz targets, shared by the libFuzzer build (tests/fuzz/CMakeLists.txt) and the
# regression test of the ordinary builds (tests/CMakeLists.txt).
set(TOLVIK_FUZZ_TARGET_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FuzzSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SeedCorpus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/targets/Engine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/targets/Files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/targets/Framing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/targets/Parse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/targets/Settings.cpp)
