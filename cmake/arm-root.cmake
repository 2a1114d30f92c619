# Shared part of the Arm toolchain files: Debian's cross compiler for
# KESTOVAR_ARM_TRIPLE, with the Debian Arm userland made by
# scripts/arm-root.sh as its sysroot (headers, libraries, pkg-config files),
# and qemu-user with that root as its library prefix to run what is built.
#
# The root is KESTOVAR_ARM_ROOT when given (-D or environment), else the one
# scripts/arm-root.sh makes by default.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${KESTOVAR_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KESTOVAR_ARM_TRIPLE}-g++)

if(NOT KESTOVAR_ARM_ROOT AND DEFINED ENV{KESTOVAR_ARM_ROOT})
  set(KESTOVAR_ARM_ROOT $ENV{KESTOVAR_ARM_ROOT})
endif()
if(NOT KESTOVAR_ARM_ROOT)
  # Where scripts/arm-root.sh puts it: KESTOVAR_ARM_ROOTS, /var/cache for
  # root, the user's cache directory for anyone else.
  set(KESTOVAR_ARM_ROOT /var/cache/kestovar/root-${KESTOVAR_ARM_ARCH})
  foreach(dir "$ENV{KESTOVAR_ARM_ROOTS}" /var/cache/kestovar "$ENV{XDG_CACHE_HOME}/kestovar"
      "$ENV{HOME}/.cache/kestovar")
    if(NOT dir MATCHES "^/kestovar$" AND EXISTS ${dir}/root-${KESTOVAR_ARM_ARCH}/.kestovar-root)
      set(KESTOVAR_ARM_ROOT ${dir}/root-${KESTOVAR_ARM_ARCH})
      break()
    endif()
  endforeach()
endif()
if(NOT EXISTS ${KESTOVAR_ARM_ROOT}/.kestovar-root)
  message(FATAL_ERROR "No ${KESTOVAR_ARM_ARCH} root at ${KESTOVAR_ARM_ROOT}: "
    "make it with scripts/arm-root.sh ${KESTOVAR_ARM_ARCH} (or set KESTOVAR_ARM_ROOT)")
endif()
# try_compile projects read this file again: hand them the root.
set(KESTOVAR_ARM_ROOT ${KESTOVAR_ARM_ROOT} CACHE PATH "Arm root the build is made against")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTOVAR_ARM_ROOT)

set(CMAKE_SYSROOT ${KESTOVAR_ARM_ROOT})
set(CMAKE_FIND_ROOT_PATH ${KESTOVAR_ARM_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's pkg-config, reading only the root's .pc files and
# prefixing the paths they give with the root.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${KESTOVAR_ARM_ROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${KESTOVAR_ARM_ROOT}/usr/lib/${KESTOVAR_ARM_TRIPLE}/pkgconfig:${KESTOVAR_ARM_ROOT}/usr/share/pkgconfig:${KESTOVAR_ARM_ROOT}/usr/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTOVAR_ARM_QEMU} -L ${KESTOVAR_ARM_ROOT})
