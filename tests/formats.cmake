# The engine's file formats: round trips, truncations, seeded mutations, write failures.
add_executable(tessera_format_tests test_formats.cpp)
target_link_libraries(tessera_format_tests PRIVATE tessera_test_main tesseraengine)
gtest_discover_tests(tessera_format_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)

# libFuzzer targets of the same readers (clang only).
add_subdirectory(fuzz)
