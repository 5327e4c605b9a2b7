# The x86_64 proxy/stub and command-line client that the i686 installer
# ships for 64-bit OPC clients: a companion tree built with the x86_64
# toolchain (only the OPC interfaces, dakora_ps and opccli), its two files
# copied to bin/x64/ of this tree.
include(ExternalProject)
set(LUMARET_X64_DIR "${CMAKE_BINARY_DIR}/bin/x64")
ExternalProject_Add(lumaret_x64_companion
  SOURCE_DIR "${CMAKE_SOURCE_DIR}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/x64-companion"
  LIST_SEPARATOR |
  CMAKE_ARGS
    "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64.cmake"
    "-DLUMARET_DEPS_DIR=${LUMARET_DEPS_DIR}"
    -DLUMARET_BUILD_TESTS=OFF
    "-DLUMARET_COMPONENTS=opcda|tools/opcclient"
  # A build of its own, outside the parent make's job server.
  BUILD_COMMAND ${CMAKE_COMMAND} -E env MAKEFLAGS= ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
                --target dakora_ps opccli
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory "${LUMARET_X64_DIR}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/dakora_ps.dll
            <BINARY_DIR>/bin/opccli.exe "${LUMARET_X64_DIR}"
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS "${LUMARET_X64_DIR}/dakora_ps.dll" "${LUMARET_X64_DIR}/opccli.exe")
