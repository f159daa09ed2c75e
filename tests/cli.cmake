# The command-line tool: option tables, progress bar, dispatcher, the synth
# scene generator, and the built binary's exit codes.
add_executable(tessera_cli_tests test_cli.cpp)
target_link_libraries(tessera_cli_tests PRIVATE tessera_test_main tesseracli)
target_compile_definitions(tessera_cli_tests PRIVATE TESSERA_CLI_PATH="$<TARGET_FILE:tessera>")
add_dependencies(tessera_cli_tests tessera)
gtest_discover_tests(tessera_cli_tests DISCOVERY_TIMEOUT 60)
