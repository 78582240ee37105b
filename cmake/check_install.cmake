# Installs the build into a fresh prefix and builds the example program against the installed library
# twice: with find_package(qrkit) and with pkg-config. Run by ctest:
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DC_COMPILER=<cc> -P check_install.cmake
set(work "${BUILD_DIR}/install-check")
set(prefix "${work}/prefix")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${status}):\n${out}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(installed include/qrkit/qrkit/qrkit.h include/qrkit/qrkit/qrkit_paint.h include/qrkit/encoder/objectmodel.h
                  include/qrkit/platform/istream.h lib/pkgconfig/qrkit.pc lib/cmake/qrkit/qrkitConfig.cmake
                  bin/qrkit share/man/man1/qrkit.1 share/bash-completion/completions/qrkit
                  share/zsh/site-functions/_qrkit)
  if(NOT EXISTS "${prefix}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# The installed tool runs with the installed library.
run("${prefix}/bin/qrkit" --version)

# With find_package(qrkit): the example's own CMake project.
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples" -B "${work}/cmake-build" -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build "${work}/cmake-build")
run("${work}/cmake-build/encode_example" "HELLO FROM CMAKE" "${work}/cmake.png")
if(NOT EXISTS "${work}/cmake.png")
  message(FATAL_ERROR "the example built with find_package wrote no image")
endif()

# With pkg-config.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs qrkit RESULT_VARIABLE status OUTPUT_VARIABLE flags
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know qrkit")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} -std=c99 -Wall -Wextra -Werror "${SOURCE_DIR}/examples/encode_example.c" ${flags}
    -o "${work}/pkg-config-example")
run(${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${prefix}/lib" "${work}/pkg-config-example" "HELLO FROM PKG-CONFIG"
    "${work}/pkg-config.png")
if(NOT EXISTS "${work}/pkg-config.png")
  message(FATAL_ERROR "the example built with pkg-config wrote no image")
endif()
file(REMOVE_RECURSE "${work}")
