# Class statistics and vectorization: the statistics rows and recount, the
# statistics and vectorize windows (scripted UI service, launch hook), the
# polygonize algorithm against a flood-fill reference, and the stats and
# polygonize subcommands.
add_executable(tessera_statsvector_tests test_statsvector.cpp)
target_link_libraries(tessera_statsvector_tests PRIVATE tessera_test_main tesserauiobjects tesseraprogressui tesseracli
                      nlohmann_json::nlohmann_json Qt6::Test)
gtest_discover_tests(tessera_statsvector_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
