# The MCP server's speed and memory, driven through a real `quillbrook-cli mcp`
# process. Not a test: run it by hand on a Release build.
add_executable(mcp_bench mcp_bench.cpp)
target_link_libraries(mcp_bench PRIVATE quillbrook_test_support)
target_compile_definitions(mcp_bench PRIVATE QUILLBROOK_CLI_PATH="$<TARGET_FILE:quillbrook-cli>")
add_dependencies(mcp_bench quillbrook-cli)
