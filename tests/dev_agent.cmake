# Tests of the development agent: unit tests of its modules, end-to-end tests
# over its socket, and the client run against it over the sample mailbox. Test
# names carry their executable's name, so `ctest -R dev_agent` selects them.

add_library(quillbrook_dev_agent_test_fixture STATIC dev_agent_fixture.cpp)
target_include_directories(quillbrook_dev_agent_test_fixture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(quillbrook_dev_agent_test_fixture PUBLIC
  QUILLBROOK_DEV_AGENT_PATH="$<TARGET_FILE:quillbrook-dev-agent>"
  QUILLBROOK_SAMPLE_MAIL="${PROJECT_SOURCE_DIR}/examples/mail")

function(dev_agent_test name)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE GTest::gtest_main quillbrook_dev_agent_test_fixture ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_dependencies(${name} quillbrook-dev-agent)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 30)
endfunction()

foreach(name IN ITEMS
    dev_agent_text_test
    dev_agent_maildir_test
    dev_agent_message_test
    dev_agent_actions_test
    dev_agent_e2e_test)
  dev_agent_test(${name} quillbrook_dev_agent)
endforeach()

if(TARGET quillbrook-cli)
  dev_agent_test(dev_agent_cli_e2e_test quillbrook_test_support quillbrook_json)
  target_compile_definitions(dev_agent_cli_e2e_test PRIVATE QUILLBROOK_CLI_PATH="$<TARGET_FILE:quillbrook-cli>")
  add_dependencies(dev_agent_cli_e2e_test quillbrook-cli)
endif()
