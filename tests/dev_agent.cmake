# Tests of the development agent: unit tests of its modules, end-to-end tests
# over its socket, and the client run against it over the sample mailbox.

add_library(quillbrook_dev_agent_test_fixture STATIC dev_agent_fixture.cpp)
target_include_directories(quillbrook_dev_agent_test_fixture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quillbrook_dev_agent_test_fixture PUBLIC quillbrook_test_support)
target_compile_definitions(quillbrook_dev_agent_test_fixture
  PUBLIC QUILLBROOK_SAMPLE_MAIL="${PROJECT_SOURCE_DIR}/examples/mail"
         QUILLBROOK_MAIL_FAULTS="${CMAKE_CURRENT_SOURCE_DIR}/mail_faults"
  PRIVATE QUILLBROOK_DEV_AGENT_PATH="$<TARGET_FILE:quillbrook-dev-agent>")

foreach(name IN ITEMS
    dev_agent_text_test
    dev_agent_maildir_test
    dev_agent_message_test
    dev_agent_actions_test
    dev_agent_answer_fit_test
    dev_agent_index_test
    dev_agent_watch_test)
  quillbrook_test(${name} quillbrook_dev_agent quillbrook_dev_agent_test_fixture)
endforeach()
foreach(name IN ITEMS dev_agent_mail_faults_test dev_agent_e2e_test dev_agent_hostile_test)
  quillbrook_test(${name} quillbrook_dev_agent quillbrook_dev_agent_test_fixture RUNS quillbrook-dev-agent)
endforeach()

quillbrook_test(dev_agent_cli_e2e_test quillbrook_dev_agent_test_fixture quillbrook_test_support quillbrook_json
  RUNS quillbrook-cli quillbrook-dev-agent)
