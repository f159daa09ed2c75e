# The classification windows and the progress window, driven through the
# scripted UI service with the algorithm launch hook, so no task really runs.
add_executable(tessera_window_tests
  test_progress.cpp
  test_classify_windows.cpp)
target_link_libraries(tessera_window_tests PRIVATE tessera_test_main tesseraui tesseraprogressui Qt6::Test)
gtest_discover_tests(tessera_window_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
