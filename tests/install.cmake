# The install rules, checked on a staged install (tests/install). Not under
# the sanitizers: the host program is built as a user would, without them;
# nor in a cross build, where this machine's compiler cannot link the
# staged Arm library (the packages are tried in Arm roots instead).
if(NOT KESTOVAR_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  add_executable(syna_install_host_ref ${CMAKE_CURRENT_SOURCE_DIR}/install/host.c)
  target_link_libraries(syna_install_host_ref PRIVATE syna)
  set_target_properties(syna_install_host_ref PROPERTIES LINKER_LANGUAGE CXX)
  add_test(NAME staged_install COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/staged_install.sh)
  set_tests_properties(staged_install PROPERTIES TIMEOUT 300 ENVIRONMENT
    "BUILD=${PROJECT_BINARY_DIR};SOURCE=${PROJECT_SOURCE_DIR};SYNA_RENDER=$<TARGET_FILE:syna-render>;KESTOVAR=$<TARGET_FILE:kestovar>;HOST_REF=$<TARGET_FILE:syna_install_host_ref>;WORK=${CMAKE_CURRENT_BINARY_DIR}/staged-install")
endif()
