# The embedded frontend: table invariants against the frontend directory, lookup and handler.
find_package(OpenSSL COMPONENTS Crypto)

add_executable(frontend_tests
  unit/frontend_assets_test.cpp
  unit/frontend_protocol_handler_test.cpp
)
target_link_libraries(frontend_tests PRIVATE vorpel_frontend GTest::gtest_main)
target_include_directories(frontend_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(frontend_tests PRIVATE VORPEL_FRONTEND_DIR="${VORPEL_FRONTEND_DIR}")
# Without OpenSSL for the target the digest check is left out; the rest still runs.
if(OpenSSL_FOUND)
  target_link_libraries(frontend_tests PRIVATE OpenSSL::Crypto)
  target_compile_definitions(frontend_tests PRIVATE VORPEL_TEST_HAVE_OPENSSL)
endif()
gtest_discover_tests(frontend_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
