# Cross-building for 64-bit Arm (Debian arm64, a 64-bit Raspberry Pi OS):
#     cmake --preset arm64   (after scripts/arm-root.sh arm64)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KESTOVAR_ARM_ARCH arm64)
set(KESTOVAR_ARM_TRIPLE aarch64-linux-gnu)
set(KESTOVAR_ARM_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/arm-root.cmake)
