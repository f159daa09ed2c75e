# tessera-host end to end: a scene opened in the host, rectangles drawn with
# the mouse, samples taken and saved in the sample editor, and the maximum
# likelihood window classifying the scene with them on its own thread.
add_executable(tessera_host_pipeline_tests test_host_pipeline.cpp)
target_link_libraries(tessera_host_pipeline_tests PRIVATE tessera_test_main tesserahostlib tesserauiobjects Qt6::Test)
gtest_discover_tests(tessera_host_pipeline_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
