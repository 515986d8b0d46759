# Tests of the development agent: unit tests of its modules, end-to-end tests
# over its socket, and the client run against it over the sample mailbox.

add_library(quillbrook_dev_agent_test_fixture STATIC dev_agent_fixture.cpp)
target_include_directories(quillbrook_dev_agent_test_fixture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quillbrook_dev_agent_test_fixture PUBLIC quillbrook_test_support)
target_compile_definitions(quillbrook_dev_agent_test_fixture
  PUBLIC QUILLBROOK_SAMPLE_MAIL="${PROJECT_SOURCE_DIR}/examples/mail"
         QUILLBROOK_MAIL_FAULTS="${CMAKE_CURRENT_SOURCE_DIR}/mail_faults"
  PRIVATE QUILLBROOK_DEV_AGENT_PATH="$<TARGET_FILE:quillbrook-dev-agent>")

quillbrook_tests(dev_agent_unit_tests
  SOURCES dev_agent_text_test.cpp dev_agent_maildir_test.cpp dev_agent_message_test.cpp dev_agent_actions_test.cpp
          dev_agent_answer_fit_test.cpp dev_agent_index_test.cpp dev_agent_watch_test.cpp
  LIBRARIES quillbrook_dev_agent quillbrook_dev_agent_test_fixture nlohmann_json::nlohmann_json)
quillbrook_tests(dev_agent_e2e_tests
  SOURCES dev_agent_mail_faults_test.cpp dev_agent_e2e_test.cpp dev_agent_hostile_test.cpp dev_agent_config_test.cpp
          dev_agent_cli_e2e_test.cpp
  LIBRARIES quillbrook_dev_agent quillbrook_dev_agent_test_fixture quillbrook_test_support quillbrook_json
            nlohmann_json::nlohmann_json
  RUNS quillbrook-cli quillbrook-dev-agent)
target_compile_definitions(dev_agent_e2e_tests PRIVATE
                           QUILLBROOK_EXAMPLE_CONFIG="${PROJECT_SOURCE_DIR}/packaging/dev-agent.toml")

# The agent on mirrors that real sync tools made of a Dovecot server the test
# starts itself (tests/real_mail): one test per mirror. Skipped (status 77)
# where Python 3, Dovecot, mbsync or offlineimap is missing, failed instead
# under QUILLBROOK_REQUIRE_REAL_MAIL=1.
foreach(mirror IN ITEMS mbsync_maildirpp mbsync_verbatim offlineimap)
  add_test(NAME dev_agent_real_mail.${mirror}
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/real_mail/run.sh $<TARGET_FILE:quillbrook-cli>
                   $<TARGET_FILE:quillbrook-dev-agent> ${mirror})
  set_tests_properties(dev_agent_real_mail.${mirror} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endforeach()
