# Start-up cost of one command process beside a minimal C client.
add_executable(minimal_client minimal_client.c)
add_executable(startup_bench startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE quillbrook_test_support)
target_compile_definitions(startup_bench PRIVATE
  QUILLBROOK_CLI_PATH="$<TARGET_FILE:quillbrook-cli>"
  MINIMAL_CLIENT_PATH="$<TARGET_FILE:minimal_client>")
add_dependencies(startup_bench quillbrook-cli minimal_client)
