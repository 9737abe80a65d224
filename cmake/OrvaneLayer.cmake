# orvane_layer(NAME DEPS...): one static library per source folder, from every .cpp in it.
# The include root is src/, so code includes "net/EventLoop.h", "ftp/TFtpServer.h" and so on.
function(orvane_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(orvane_${name} STATIC ${sources})
    target_include_directories(orvane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orvane_${name} PUBLIC ${ARGN})
  else()
    add_library(orvane_${name} INTERFACE)
    target_include_directories(orvane_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orvane_${name} INTERFACE ${ARGN})
  endif()
endfunction()

# orvane_tests(NAME LIB...): one GoogleTest executable per test folder, from every .cpp in it.
function(orvane_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name}_tests PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVANE_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
