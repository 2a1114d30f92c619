# The demo on a Linux console, end to end in virtual machines (QEMU, plain
# emulation): the picture against the stills, a live show ended by Escape,
# its sound, and the error without a GPU. A few minutes and a kernel
# download, so only when asked for (scripts/test-vm.sh turns it on).
option(KESTOVAR_VM_TESTS "Run the console tests in virtual machines" OFF)
set(KESTOVAR_VM_ARM64_ROOT "" CACHE PATH "arm64 userland for the arm64 VM (empty: no arm64 VM)")
set(KESTOVAR_VM_ARM64_BIN "" CACHE PATH "folder of kestovar built for arm64 against that root")
set(KESTOVAR_VM_ARM64_DEBS "" CACHE PATH
  "folder of the arm64 Debian packages: installed in the arm64 VM and run instead of the BIN")
set(KESTOVAR_VM_ARMHF_ROOT "" CACHE PATH "armhf userland, shared with the arm64 VM")
set(KESTOVAR_VM_ARMHF_DEBS "" CACHE PATH
  "folder of the armhf Debian packages: installed in that userland in the arm64 VM")
if(KESTOVAR_VM_TESTS)
  set(VM_OUT ${CMAKE_CURRENT_BINARY_DIR}/vm-out)
  set(VM_TEST ${CMAKE_CURRENT_SOURCE_DIR}/vm/console_test.py)
  set(VM_HOST_ENV "HOST_KESTOVAR=$<TARGET_FILE:kestovar>;SYNA_RENDER=$<TARGET_FILE:syna-render>;VM_OUT=${VM_OUT}")

  set(VM_ARCHES x86_64)
  if(KESTOVAR_VM_ARM64_ROOT AND (KESTOVAR_VM_ARM64_BIN OR KESTOVAR_VM_ARM64_DEBS))
    list(APPEND VM_ARCHES arm64)
  endif()
  foreach(arch ${VM_ARCHES})
    set(kit ${CMAKE_BINARY_DIR}/vm-kit/${arch})
    if(arch STREQUAL "x86_64")
      set(root /)
      set(guest_kestovar $<TARGET_FILE:kestovar>)
    else()
      set(root ${KESTOVAR_VM_ARM64_ROOT})
      set(guest_kestovar ${KESTOVAR_VM_ARM64_BIN}/kestovar)
    endif()
    add_test(NAME vm_kit_${arch} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/vm/kit.sh ${arch} ${kit} ${root})
    set_tests_properties(vm_kit_${arch} PROPERTIES LABELS vm TIMEOUT 600 FIXTURES_SETUP vm_${arch})
    set(env "${VM_HOST_ENV};KESTOVAR=${guest_kestovar};VM_ARCH=${arch};VM_KIT=${kit};VM_ROOT=${root}")
    if(arch STREQUAL "arm64" AND KESTOVAR_VM_ARM64_DEBS)
      list(APPEND env "VM_DEBS=${KESTOVAR_VM_ARM64_DEBS}")
    endif()
    # One boot per screen: 4:3 with the live show and its sound, and a wide
    # one; a third without a GPU.
    add_test(NAME vm_console_${arch}_4x3 COMMAND ${Python3_EXECUTABLE} ${VM_TEST} show 1024x768 --escape)
    add_test(NAME vm_console_${arch}_wide COMMAND ${Python3_EXECUTABLE} ${VM_TEST} show 1280x720)
    add_test(NAME vm_console_${arch}_no_gpu COMMAND ${Python3_EXECUTABLE} ${VM_TEST} errors)
    set_tests_properties(vm_console_${arch}_4x3 vm_console_${arch}_wide vm_console_${arch}_no_gpu
      PROPERTIES LABELS vm TIMEOUT 900 FIXTURES_REQUIRED vm_${arch} ENVIRONMENT "${env}"
      # Each VM wants a core of its own to keep its sound card fed.
      RESOURCE_LOCK vm_cpu)
    # The 32-bit packages join the 64-bit boot without a GPU: a Pi's
    # 32-bit system runs on a 64-bit kernel too.
    if(arch STREQUAL "arm64" AND KESTOVAR_VM_ARMHF_ROOT AND KESTOVAR_VM_ARMHF_DEBS)
      set_property(TEST vm_console_arm64_no_gpu APPEND PROPERTY ENVIRONMENT
        "VM_ARMHF_ROOT=${KESTOVAR_VM_ARMHF_ROOT}" "VM_ARMHF_DEBS=${KESTOVAR_VM_ARMHF_DEBS}")
    endif()
  endforeach()
endif()
