# The recording GL layer and its silent twin; included by the test and the
# benchmark fragments, whichever comes first defines the targets.
if(NOT TARGET glrec)
  set(GLREC_DIR ${CMAKE_CURRENT_LIST_DIR})
  foreach(lib glrec glrec_noop)
    add_library(${lib} STATIC ${GLREC_DIR}/glrec.cpp)
    target_include_directories(${lib} PUBLIC ${GLREC_DIR})
    target_include_directories(${lib} PRIVATE
      $<TARGET_PROPERTY:PkgConfig::GLES1,INTERFACE_INCLUDE_DIRECTORIES>)
  endforeach()
  target_compile_definitions(glrec_noop PRIVATE GLREC_NOOP)
endif()
