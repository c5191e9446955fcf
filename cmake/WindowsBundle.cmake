# `cmake --build --preset windows --target windows-bundle`: the programs, the
# DLLs they load, Qt's platform plugin, the help manual, the icon and the
# notices in one folder and a zip, as Windows users get them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(bundle_programs marrowgate-convert)
if(MARROWGATE_BUILD_GUI)
  list(APPEND bundle_programs marrowgate)
endif()
add_custom_target(windows-bundle
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/windows-bundle.py
          ${PROJECT_BINARY_DIR} ${MARROWGATE_WINDOWS_DEPS} ${PROJECT_SOURCE_DIR}
          ${MARROWGATE_DISPLAY_VERSION}
  DEPENDS ${bundle_programs}
  COMMENT "Putting the Windows bundle together"
  VERBATIM)
