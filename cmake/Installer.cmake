# The Windows installer (target "installer"), made from the i686 programs
# with makensis.
if(LUMARET_ARCH STREQUAL "i686" AND TARGET Lumaret AND TARGET Tessiva AND TARGET opccli)
  find_program(LUMARET_MAKENSIS makensis)
  if(LUMARET_MAKENSIS)
    set(LUMARET_SETUP "${CMAKE_BINARY_DIR}/bin/LumaretSetup.exe")
    add_custom_command(OUTPUT "${LUMARET_SETUP}"
      COMMAND "${LUMARET_MAKENSIS}" -V2 "-DBINDIR=${CMAKE_BINARY_DIR}/bin" "-DOUTFILE=${LUMARET_SETUP}"
              "${CMAKE_SOURCE_DIR}/scripts/installer/lumaret.nsi"
      DEPENDS Lumaret Tessiva dakora_da dakora_ps opccli "${CMAKE_SOURCE_DIR}/scripts/installer/lumaret.nsi"
      VERBATIM)
    add_custom_target(installer ALL DEPENDS "${LUMARET_SETUP}")
  endif()
endif()
