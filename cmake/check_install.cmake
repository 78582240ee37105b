# Installs the build into a fresh prefix that the system's loader does not know, checks the installed
# layout (the public headers alone, as include/qrkit/*.h; with WITH_FONT the qrkit QR font under
# share/fonts), and builds the example programs against it with find_package(qrkit) and with
# pkg-config. Every program then runs without LD_LIBRARY_PATH: the
# tool through its $ORIGIN run path, the examples through the run paths CMake and the pkg-config file
# give them. The prefix is then moved and the tool and a pkg-config build run again. Run by ctest:
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DC_COMPILER=<cc> -DCXX_COMPILER=<c++>
#         [-DC_FLAGS=<flags>] [-DCXX_FLAGS=<flags>] [-DTOOLCHAIN_FILE=<file>] [-DWITH_FONT=ON]
#         -P check_install.cmake
# C_FLAGS, CXX_FLAGS and TOOLCHAIN_FILE are the build's own: the i386 build compiles with -m32 through
# cmake/toolchain-i386-linux.cmake.
set(work "${BUILD_DIR}/install-check")
set(prefix "${work}/prefix")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
unset(ENV{LD_LIBRARY_PATH})

include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
# The library under its run-time name (its soname) and its development link; the tool with its manual
# page and completion.
foreach(installed lib/libqrkit.so.0 lib/libqrkit.so lib/pkgconfig/qrkit.pc lib/cmake/qrkit/qrkitConfig.cmake
                  bin/qrkit share/man/man1/qrkit.1 share/bash-completion/completions/qrkit
                  share/zsh/site-functions/_qrkit)
  if(NOT EXISTS "${prefix}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
# The include folder holds the public headers and nothing else: no folders of the source tree.
file(GLOB_RECURSE headers RELATIVE "${prefix}/include" "${prefix}/include/*")
list(SORT headers)
set(expected qrkit/istream.h qrkit/objectmodel.h qrkit/qrkit.h qrkit/qrkit_paint.h)
if(NOT headers STREQUAL expected)
  message(FATAL_ERROR "installed headers: ${headers}; expected ${expected}")
endif()
# Each header compiles on its own from the installed tree (the C ones as C too).
foreach(header ${expected})
  file(WRITE "${work}/header.cpp" "#include \"${header}\"\nint main() { return 0; }\n")
  run(${CXX_COMPILER} ${cxx_flags} -std=c++17 -Wall -Wextra -Werror -I${prefix}/include -c "${work}/header.cpp"
      -o "${work}/header.o")
endforeach()
foreach(header qrkit/qrkit.h qrkit/qrkit_paint.h)
  file(WRITE "${work}/header.c" "#include \"${header}\"\nint main(void) { return 0; }\n")
  run(${C_COMPILER} ${c_flags} -std=c99 -Wall -Wextra -Werror -I${prefix}/include -c "${work}/header.c"
      -o "${work}/header.o")
endforeach()

# The installed tool finds the library through its $ORIGIN-relative run path.
run("${prefix}/bin/qrkit" --version)
run("${prefix}/bin/qrkit" encode --print rows 12345)

# The qrkit QR font and its licence under share/fonts, as the build made them.
if(WITH_FONT)
  foreach(installed share/fonts/truetype/qrkit/qrkit-qr.ttf share/fonts/woff2/qrkit/qrkit-qr.woff2
                    share/fonts/truetype/qrkit/OFL.txt share/fonts/woff2/qrkit/OFL.txt)
    if(NOT EXISTS "${prefix}/${installed}")
      message(FATAL_ERROR "not installed: ${installed}")
    endif()
  endforeach()
  file(SHA256 "${prefix}/share/fonts/truetype/qrkit/qrkit-qr.ttf" installed_font)
  file(SHA256 "${BUILD_DIR}/font/qrkit-qr.ttf" built_font)
  if(NOT installed_font STREQUAL built_font)
    message(FATAL_ERROR "the installed qrkit-qr.ttf differs from the build's")
  endif()
endif()

# With find_package(qrkit): the examples' own CMake project.
set(example_options -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release)
if(TOOLCHAIN_FILE)
  # A toolchain may confine package searches to its own tree: name the installed package's folder.
  list(APPEND example_options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -Dqrkit_DIR=${prefix}/lib/cmake/qrkit)
endif()
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples" -B "${work}/cmake-build" ${example_options})
run(${CMAKE_COMMAND} --build "${work}/cmake-build")
run("${work}/cmake-build/encode_example" "HELLO FROM CMAKE" "${work}/cmake.png")
run("${work}/cmake-build/encode_example_cpp" "HELLO FROM C++" "${work}/cmake-cpp.png")
foreach(image cmake.png cmake-cpp.png)
  if(NOT EXISTS "${work}/${image}")
    message(FATAL_ERROR "the example built with find_package wrote no ${image}")
  endif()
endforeach()

# With pkg-config, from where the prefix is and from where it is moved to.
find_program(PKG_CONFIG pkg-config REQUIRED)
function(build_with_pkg_config pc_dir program)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs qrkit RESULT_VARIABLE status OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know qrkit")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${C_COMPILER} ${c_flags} -std=c99 -Wall -Wextra -Werror "${SOURCE_DIR}/examples/encode_example.c" ${flags}
      -o "${program}")
  run(${CXX_COMPILER} ${cxx_flags} -std=c++17 -Wall -Wextra -Werror "${SOURCE_DIR}/examples/encode_example.cpp"
      ${flags}
      -o "${program}-cpp")
  run("${program}" "HELLO FROM PKG-CONFIG" "${program}.png")
  run("${program}-cpp" "HELLO FROM PKG-CONFIG" "${program}-cpp.png")
  if(NOT EXISTS "${program}.png" OR NOT EXISTS "${program}-cpp.png")
    message(FATAL_ERROR "the examples built with pkg-config wrote no image")
  endif()
endfunction()
build_with_pkg_config("${prefix}/lib/pkgconfig" "${work}/pkg-config-example")

file(RENAME "${prefix}" "${work}/moved")
run("${work}/moved/bin/qrkit" encode --print rows 12345)
build_with_pkg_config("${work}/moved/lib/pkgconfig" "${work}/moved-example")
file(REMOVE_RECURSE "${work}")
