# The SVM and BP network learners: known answers, libsvm agreement, models, bad input.
add_executable(tessera_learned_tests test_learned.cpp)
target_link_libraries(tessera_learned_tests PRIVATE tessera_test_main tesseraprocessing)
gtest_discover_tests(tessera_learned_tests DISCOVERY_TIMEOUT 60)
