# tessera-host: its host interface, the stretch and read-window functions,
# the map view driven with the mouse, the window menu and the gallery.
add_executable(tessera_host_tests test_host.cpp)
target_link_libraries(tessera_host_tests PRIVATE tessera_test_main tesserahostlib tesserauiobjects Qt6::Test)
target_compile_definitions(tessera_host_tests PRIVATE TESSERA_HOST_PATH="$<TARGET_FILE:tessera-host>")
add_dependencies(tessera_host_tests tessera-host)
gtest_discover_tests(tessera_host_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  DISCOVERY_TIMEOUT 60)
