# Post-classification tools: class merge, sieve and clump against naive
# references, their command-line tools, and the three windows driven through
# the scripted UI service with the algorithm launch hook.
add_executable(tessera_postclass_tests test_postclass.cpp)
target_link_libraries(tessera_postclass_tests PRIVATE tessera_test_main tesserauiobjects tesseraprogressui tesseracli Qt6::Test)
gtest_discover_tests(tessera_postclass_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
