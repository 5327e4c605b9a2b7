# The Windows installer (target "installer"), made from the i686 programs
# with makensis, with the x86_64 proxy/stub and command-line client for
# 64-bit OPC clients.
if(LUMARET_ARCH STREQUAL "i686" AND TARGET Lumaret AND TARGET Tessiva AND TARGET opccli)
  find_program(LUMARET_MAKENSIS makensis)
  if(LUMARET_MAKENSIS)
    include(cmake/Companion64.cmake)
    set(LUMARET_SETUP "${CMAKE_BINARY_DIR}/bin/LumaretSetup.exe")
    add_custom_command(OUTPUT "${LUMARET_SETUP}"
      COMMAND "${LUMARET_MAKENSIS}" -V2 "-DBINDIR=${CMAKE_BINARY_DIR}/bin" "-DOUTFILE=${LUMARET_SETUP}"
              "${CMAKE_SOURCE_DIR}/scripts/installer/lumaret.nsi"
      DEPENDS Lumaret Tessiva dakora_da dakora_ps opccli lumaret_x64_companion
              "${LUMARET_X64_DIR}/dakora_ps.dll" "${LUMARET_X64_DIR}/opccli.exe"
              "${CMAKE_SOURCE_DIR}/scripts/installer/lumaret.nsi"
      VERBATIM)
    add_custom_target(installer ALL DEPENDS "${LUMARET_SETUP}")
  endif()
endif()
