# The supervised classification windows.
add_executable(tessera_supervised_window_tests test_supervised_dlg.cpp)
target_link_libraries(tessera_supervised_window_tests PRIVATE tessera_test_main tesserauiobjects Qt6::Test)
gtest_discover_tests(tessera_supervised_window_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
