# Imported targets for the static Windows libraries that scripts/setup.sh
# builds into .deps/<arch>/ and for Debian's Boost headers.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LUMARET_ARCH x86_64)
else()
  set(LUMARET_ARCH i686)
endif()
set(LUMARET_DEPS_ARCH_DIR "${LUMARET_DEPS_DIR}/${LUMARET_ARCH}")

if(NOT EXISTS "${LUMARET_DEPS_DIR}/stamp")
  message(FATAL_ERROR "Windows dependencies missing: run scripts/setup.sh first")
endif()

add_library(lumaret_boost_headers INTERFACE)
target_include_directories(lumaret_boost_headers SYSTEM INTERFACE "${LUMARET_DEPS_DIR}/boost-include")
target_compile_definitions(lumaret_boost_headers INTERFACE BOOST_ALL_NO_LIB)
add_library(Boost::headers ALIAS lumaret_boost_headers)

function(lumaret_import_static name file)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${LUMARET_DEPS_ARCH_DIR}/lib/${file}")
  target_include_directories(${name} SYSTEM INTERFACE "${LUMARET_DEPS_ARCH_DIR}/include")
endfunction()

lumaret_import_static(Boost::serialization libboost_serialization.a)
target_link_libraries(Boost::serialization INTERFACE lumaret_boost_headers)

lumaret_import_static(JsonCpp::JsonCpp libjsoncpp.a)

lumaret_import_static(CURL::libcurl libcurl.a)
target_compile_definitions(CURL::libcurl INTERFACE CURL_STATICLIB)
target_link_libraries(CURL::libcurl INTERFACE ws2_32 crypt32 bcrypt)

lumaret_import_static(GTest::gtest libgtest.a)
lumaret_import_static(GTest::gtest_main libgtest_main.a)
target_link_libraries(GTest::gtest_main INTERFACE GTest::gtest)
lumaret_import_static(GTest::gmock libgmock.a)
target_link_libraries(GTest::gmock INTERFACE GTest::gtest)
