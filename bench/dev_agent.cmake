# The development agent on a large generated mailbox: make_maildir writes it,
# dev_agent_bench times the agent on it through quillbrook-cli.
add_executable(make_maildir make_maildir.cpp)
add_executable(dev_agent_bench dev_agent_bench.cpp)
target_link_libraries(dev_agent_bench PRIVATE quillbrook_util)
target_compile_definitions(dev_agent_bench PRIVATE
  QUILLBROOK_CLI_PATH="$<TARGET_FILE:quillbrook-cli>"
  QUILLBROOK_DEV_AGENT_PATH="$<TARGET_FILE:quillbrook-dev-agent>"
  MAKE_MAILDIR_PATH="$<TARGET_FILE:make_maildir>")
add_dependencies(dev_agent_bench quillbrook-cli quillbrook-dev-agent make_maildir)
