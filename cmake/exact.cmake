# exact.cmake - what every build of Kestovar (native, Arm, browser) shares so
# that the audio comes out bit-exact everywhere, written once; included by
# the root CMakeLists.txt, tests/arm and web/.
#
# No fused multiply-add, no excess precision, no reassociation.
# -Wdouble-promotion makes every float-to-double step in the exact
# arithmetic a visible, deliberate cast.
add_compile_options(-Wall -Wextra -Wshadow -Wdouble-promotion -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i.86")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# Highway's headers (the mixer's vector code; no Highway library at run
# time). They are the same for every processor, so a cross or browser build
# takes only them from the build machine, not its whole include directory.
if(CMAKE_CROSSCOMPILING OR EMSCRIPTEN)
  find_path(HOST_HWY_INCLUDE hwy/highway.h PATHS /usr/include NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/hwy-include)
  file(CREATE_LINK ${HOST_HWY_INCLUDE}/hwy ${CMAKE_BINARY_DIR}/hwy-include/hwy SYMBOLIC)
  set(SYNA_HWY_INCLUDE ${CMAKE_BINARY_DIR}/hwy-include CACHE PATH "Highway's headers" FORCE)
else()
  find_path(SYNA_HWY_INCLUDE hwy/highway.h REQUIRED)
endif()
