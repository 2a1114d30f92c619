# Cross-building for 32-bit Arm with hardware floating point (Debian armhf,
# a 32-bit Raspberry Pi OS):
#     cmake --preset armhf   (after scripts/arm-root.sh armhf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(KESTOVAR_ARM_ARCH armhf)
set(KESTOVAR_ARM_TRIPLE arm-linux-gnueabihf)
set(KESTOVAR_ARM_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/arm-root.cmake)
