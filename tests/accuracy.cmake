# Accuracy assessment: error matrix, report writer (golden file), estimates,
# the window and the random point dialog through the scripted UI service and
# host, and `tessera accuracy`.
add_executable(tessera_accuracy_tests test_accuracy.cpp)
target_link_libraries(tessera_accuracy_tests PRIVATE tessera_test_main tesserauiobjects tesseracli Qt6::Test)
gtest_discover_tests(tessera_accuracy_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
