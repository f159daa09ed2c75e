# The support vector machine and back-propagation network windows.
add_executable(tessera_svmbp_window_tests test_svmbp_dlg.cpp)
target_link_libraries(tessera_svmbp_window_tests PRIVATE tessera_test_main tesserauiobjects tesseraprogressui Qt6::Test)
gtest_discover_tests(tessera_svmbp_window_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
