# End-to-end tests: one CTest test per folder under cases/, each run by
# run_case.sh against the built programs. Adding a folder adds a test at the
# next build (the glob is re-checked then). A case whose file `platform`
# names the other platform (posix or windows) is not registered at all.
find_program(QSTAT_BASH bash REQUIRED)
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(qstat_e2e_platform windows)
else()
  set(qstat_e2e_platform posix)
endif()
file(GLOB qstat_e2e_cases LIST_DIRECTORIES true CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/cases/*)
foreach(case_dir IN LISTS qstat_e2e_cases)
  if(NOT IS_DIRECTORY ${case_dir})
    continue()
  endif()
  if(EXISTS ${case_dir}/platform)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${case_dir}/platform)
    file(STRINGS ${case_dir}/platform case_platform LIMIT_COUNT 1)
    if(NOT case_platform STREQUAL qstat_e2e_platform)
      continue()
    endif()
  endif()
  get_filename_component(case_name ${case_dir} NAME)
  # The emulator (wine in a Windows cross build) travels as one ;-list argument.
  add_test(NAME e2e.${case_name}
    COMMAND ${QSTAT_BASH} ${CMAKE_CURRENT_LIST_DIR}/run_case.sh
            ${case_dir} $<TARGET_FILE_DIR:qvolstat> "${CMAKE_CROSSCOMPILING_EMULATOR}")
  set_tests_properties(e2e.${case_name} PROPERTIES
    SKIP_RETURN_CODE 77
    TIMEOUT 300
    LABELS e2e
    REQUIRED_FILES "$<TARGET_FILE:qvolstat>;$<TARGET_FILE:qmassstat>")
endforeach()
