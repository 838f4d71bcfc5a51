# Script run by CTest: install, then build and run the outside client two ways.
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/sdk)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# A sanitizer build of the SDK needs its clients built with the same sanitizers.
set(extra_flags "")
if(SANITIZE)
  set(extra_flags -fsanitize=${SANITIZE})
endif()

# 1. CMake package.
run(${CMAKE_COMMAND} -S ${CLIENT_DIR} -B ${WORK_DIR}/cmake-build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${extra_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${extra_flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/outside_client)
message(STATUS "outside client (CMake package): ${last_output}")

# 2. pkg-config.
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs tevo-com)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${CXX} ${extra_flags} ${CLIENT_DIR}/main.cpp ${flags} -o ${WORK_DIR}/pc_client)
  run(${WORK_DIR}/pc_client)
  message(STATUS "outside client (pkg-config): ${last_output}")
endif()
