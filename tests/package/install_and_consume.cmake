# Script run by CTest: install, build the consumer both ways, run it.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "command failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${CONSUMER_BUILD})
run(${CMAKE_COMMAND} --install ${HESK_BUILD_DIR} --prefix ${PREFIX})

# find_package(hesk CONFIG REQUIRED)
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${CONSUMER_BUILD} -G Ninja
    -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}")
run(${CMAKE_COMMAND} --build ${CONSUMER_BUILD})
run(${CONSUMER_BUILD}/hesk_consumer)
if(NOT last_output MATCHES "ENV BLOCK_BPM_2010 284")
  message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()

# pkg-config
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/lib/pkgconfig:${PREFIX}/lib64/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs Hesk)
  string(STRIP "${last_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra UNIX_COMMAND "${CONSUMER_FLAGS}")
  run(${CXX} -std=c++17 ${extra} ${CONSUMER_SOURCE}/main.cc -o ${CONSUMER_BUILD}/hesk_consumer_pc
      ${pc_flags} -Wl,-rpath,${PREFIX}/lib)
  run(${CONSUMER_BUILD}/hesk_consumer_pc)
endif()
