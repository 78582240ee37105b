# Builds tests/consumer, an application that adds qrkit's source tree with add_subdirectory, on a
# machine that seems to have none of the test packages (GoogleTest, Google Benchmark, zxing-cpp, zbar
# and the nayuki generator through pkg-config), then runs it. Run by ctest:
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DC_COMPILER=<cc> -DCXX_COMPILER=<c++>
#         -DGENERATOR=<generator> [-DTOOLCHAIN_FILE=<file>] -P check_subdirectory.cmake
# TOOLCHAIN_FILE is the build's own (the i386 one finds its libraries through QRKIT_I386_DEPS in the
# environment).
set(work "${BUILD_DIR}/subdirectory-check")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/no-pkgconfig")

include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)
set(toolchain_option)
if(TOOLCHAIN_FILE)
  set(toolchain_option -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
endif()

# No build type: the application's choice (an unoptimised build) must stay as it is.
run(${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${work}/no-pkgconfig PKG_CONFIG_PATH=
    ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/consumer" -B "${work}/build" -G "${GENERATOR}"
    -DQRKIT_SOURCE_DIR=${SOURCE_DIR} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    ${toolchain_option}
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_ZXing=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON)
run(${CMAKE_COMMAND} --build "${work}/build" --parallel 2)
run("${work}/build/consumer")
file(REMOVE_RECURSE "${work}")
