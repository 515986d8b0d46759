quillbrook_test(socket_client_test quillbrook_transport quillbrook_test_support)
quillbrook_test(reply_composer_test quillbrook_commands)
quillbrook_test(cli_e2e_test quillbrook_test_support RUNS quillbrook-cli)
# Both faces of the client against an agent that misbehaves on the wire.
quillbrook_test(agent_faults_test quillbrook_test_support RUNS quillbrook-cli)
