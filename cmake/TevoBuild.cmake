# Project-wide compile settings and the helpers every component folder uses.

add_compile_options(-Wall -Wextra -Werror)
if(TEVO_SANITIZE)
  add_compile_options(-fsanitize=${TEVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TEVO_SANITIZE})
endif()

# Libraries look for their sibling libraries next to themselves once installed.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR};$ORIGIN")
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
# Every shared library and program of the build lands in one folder, as the installed
# layout has them side by side.
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# tevo_component(LIBRARY TEST_BINARY)
# Adds the .cpp files of the calling folder (not of its sub-folders) to LIBRARY, and its
# *_test.cpp files to TEST_BINARY when tests are built. A folder is one component.
function(tevo_component library test_binary)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(lib_sources "")
  set(test_sources "")
  foreach(src IN LISTS sources)
    if(src MATCHES "_test\\.cpp$")
      list(APPEND test_sources ${src})
    elseif(NOT src MATCHES "_fuzz\\.cpp$")
      list(APPEND lib_sources ${src})
    endif()
  endforeach()
  if(lib_sources)
    target_sources(${library} PRIVATE ${lib_sources})
  endif()
  if(TEVO_BUILD_TESTS AND test_sources AND TARGET ${test_binary})
    target_sources(${test_binary} PRIVATE ${test_sources})
  endif()
endfunction()

# tevo_test_binary(NAME LIBS...)
# The one GoogleTest binary of a library. Each test runs in a fresh temporary system root
# (testsupport provides main()). Tests are discovered when CTest runs.
function(tevo_test_binary name)
  if(NOT TEVO_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${PROJECT_SOURCE_DIR}/testsupport/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN} tevo_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
                       PROPERTIES TIMEOUT 120)
endfunction()

# tevo_add_subfolders()
# Adds every direct sub-folder of the calling folder that has a CMakeLists.txt, in name
# order, so that a new component folder needs no edit of its parent.
function(tevo_add_subfolders)
  file(GLOB children CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# tevo_sdk_library(TARGET) / tevo_sdk_program(TARGET) / tevo_sdk_headers(DIR) /
# tevo_sdk_pkgconfig(FILE.pc.in): mark what the SDK installs.
function(tevo_sdk_library target)
  set_property(GLOBAL APPEND PROPERTY TEVO_SDK_TARGETS ${target})
endfunction()
function(tevo_sdk_program target)
  set_property(GLOBAL APPEND PROPERTY TEVO_SDK_PROGRAMS ${target})
endfunction()
function(tevo_sdk_headers dir)
  set_property(GLOBAL APPEND PROPERTY TEVO_SDK_HEADER_DIRS ${dir})
endfunction()
function(tevo_sdk_pkgconfig file)
  set_property(GLOBAL APPEND PROPERTY TEVO_SDK_PKGCONFIG ${file})
endfunction()
include(TevoResources)

# tevo_fuzz_test(TARGET TEST_NAME RUNS CORPUS_DIR)
# Makes the executable TARGET (its sources and libraries already given) a libFuzzer target
# and adds the CTest TEST_NAME that runs RUNS inputs with a fixed seed from the checked-in
# corpus CORPUS_DIR: new inputs go to a work folder of the build that every run starts
# afresh, crashing inputs to the folder's fuzz-artifacts/.
function(tevo_fuzz_test target test_name runs corpus)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  set(artifacts ${CMAKE_CURRENT_BINARY_DIR}/fuzz-artifacts)
  file(MAKE_DIRECTORY ${artifacts})
  get_filename_component(corpus_name ${corpus} NAME)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/fuzz-corpus/${corpus_name})
  add_test(NAME ${test_name}
           COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && exec \"$2\" -seed=1 -runs=$3 -artifact_prefix=\"$4\"/ \"$1\" \"$5\""
                   fuzz ${work} $<TARGET_FILE:${target}> ${runs} ${artifacts} ${corpus})
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 120)
endfunction()
