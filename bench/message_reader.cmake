# The development agent's message reader: headers only against whole messages.
add_executable(message_reader_bench message_reader_bench.cpp)
target_link_libraries(message_reader_bench PRIVATE quillbrook_dev_agent benchmark::benchmark)
target_compile_definitions(message_reader_bench PRIVATE QUILLBROOK_SAMPLE_MAIL="${PROJECT_SOURCE_DIR}/examples/mail")
