# Sample editor: merge arithmetic, colour rule, separability, the window with
# the scripted host, and `tessera samples` (build, --list, --check).
add_executable(tessera_samples_tests test_samples.cpp)
target_link_libraries(tessera_samples_tests PRIVATE tessera_test_main tesserauiobjects tesseracli
                      nlohmann_json::nlohmann_json Qt6::Test)
gtest_discover_tests(tessera_samples_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
