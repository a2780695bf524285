# Compiler flags and the helpers every folder uses to declare its targets.

add_compile_options(-Wall -Wextra)
if(LUMORA_WERROR)
    add_compile_options(-Werror)
endif()

set(_lumora_sanitize "${LUMORA_SANITIZE}")
if(LUMORA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "LUMORA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(NOT _lumora_sanitize)
        set(_lumora_sanitize "address,undefined")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(_lumora_sanitize)
    add_compile_options(-fsanitize=${_lumora_sanitize} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_lumora_sanitize})
    if(_lumora_sanitize MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

set(LUMORA_TEST_ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")

# lumora_add_library(NAME SOURCES... [DEPENDS libs...])
function(lumora_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# lumora_add_test_program(NAME SOURCES... LIBRARIES...): one GoogleTest
# program per subsystem, each test case registered with CTest.
function(lumora_add_test_program name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main Threads::Threads)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        TEST_PREFIX "${name}."
        PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    # The discovery script splits list-valued properties into words, so the
    # environment and labels are set by a script of our own that CTest reads
    # after the discovered tests (given to the discovery, every item after the
    # first became a property of its own and the sanitizer options never
    # reached the tests).
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${script}
        "if(${name}_TESTS)\n"
        "    set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
        "        ENVIRONMENT [==[${LUMORA_TEST_ENVIRONMENT}]==] LABELS [==[unit;${ARG_LABELS}]==])\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# lumora_add_fuzzer(NAME SOURCES... LIBRARIES...): a libFuzzer target with
# its seed corpus in tests/fuzz/corpus/NAME and optional dictionary
# tests/fuzz/NAME.dict. CTest runs each one briefly (label "fuzz").
function(lumora_add_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    set(target fuzz_${name})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    # `lumora_fuzzers` builds every fuzzer and only the libraries they need.
    if(NOT TARGET lumora_fuzzers)
        add_custom_target(lumora_fuzzers)
    endif()
    add_dependencies(lumora_fuzzers ${target})
    add_test(NAME fuzz.${name}
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/run-fuzzer.sh $<TARGET_FILE:${target}> ${name}
                ${LUMORA_FUZZ_SMOKE_SECONDS})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600
        ENVIRONMENT "${LUMORA_TEST_ENVIRONMENT}")
endfunction()

# lumora_add_benchmark(NAME SOURCES... LIBRARIES...)
function(lumora_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} benchmark::benchmark Threads::Threads)
endfunction()

set(LUMORA_FUZZ_SMOKE_SECONDS 20 CACHE STRING "Seconds each fuzzer runs under CTest")
find_package(Threads REQUIRED)
