# The installed files: completions tried in real shells, manual pages checked
# against --help, and the layout cmake --install produces.
set(docs ${PROJECT_BINARY_DIR}/docs)
set(scripts ${CMAKE_CURRENT_SOURCE_DIR}/install)

add_test(NAME install.bash_completion
         COMMAND bash ${scripts}/bash_completion_test.sh ${docs}/quillbrook-cli.bash)
find_program(ZSH zsh)
if(ZSH)
  add_test(NAME install.zsh_completion COMMAND ${ZSH} ${scripts}/zsh_completion_test.zsh ${docs}/_quillbrook-cli)
endif()
find_program(FISH fish)
if(FISH)
  add_test(NAME install.fish_completion COMMAND bash ${scripts}/fish_completion_test.sh ${docs}/quillbrook-cli.fish)
endif()

find_program(MAN man)
if(MAN)
  add_test(NAME install.cli_man_page_matches_help
           COMMAND bash ${scripts}/man_page_test.sh $<TARGET_FILE:quillbrook-cli> ${docs}/quillbrook-cli.1)
  if(HELP2MAN AND TARGET quillbrook-dev-agent)
    add_test(NAME install.dev_agent_man_page_matches_help
             COMMAND bash ${scripts}/man_page_test.sh $<TARGET_FILE:quillbrook-dev-agent> ${docs}/quillbrook-dev-agent.1)
  endif()
endif()

if(NOT TARGET quillbrook-dev-agent)
  add_test(NAME install.layout COMMAND bash ${scripts}/install_layout_test.sh ${PROJECT_BINARY_DIR} client)
elseif(HELP2MAN)
  add_test(NAME install.layout COMMAND bash ${scripts}/install_layout_test.sh ${PROJECT_BINARY_DIR} client dev-agent)
endif()

# Every byte of every command's help; the manual page and completions are
# checked against the same help above.
add_test(NAME install.cli_help_matches_expected_bytes
         COMMAND bash ${scripts}/help_test.sh $<TARGET_FILE:quillbrook-cli> ${scripts}/quillbrook-cli-help.txt)
