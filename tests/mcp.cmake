# The MCP server beyond its unit and end-to-end tests (in CMakeLists.txt): the
# interoperability test with three MCP clients (tests/interop) and the bundle.

# Skipped (status 77) where Node.js or the clients (npm ci --prefix tests/interop) are missing.
# The clients check the server's version against the one project() sets.
add_test(NAME mcp_interop
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/interop/run.sh $<TARGET_FILE:quillbrook-cli> ${PROJECT_VERSION})
set_tests_properties(mcp_interop PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)

# One bundle from the client built here, checked as the release checks it
# (packaging/mcpb/check-bundle.sh); skipped where Node.js or the packer
# (npm ci --prefix packaging/mcpb) is missing.
add_test(NAME mcp_bundle
         COMMAND sh -c [[cmake="$1" cli="$2" version="$3" platform="$4" out="$5" source="$6"
                         "$cmake" -DCLI="$cli" -DCATALOGUE_CLI="$cli" -DVERSION="$version" -DPLATFORM="$platform" \
                                  -DOUT="$out" -P "$source/packaging/mcpb/bundle.cmake" >/dev/null &&
                         sh "$source/packaging/mcpb/check-bundle.sh" "$out" "$version"]]
                 sh ${CMAKE_COMMAND} $<TARGET_FILE:quillbrook-cli> ${PROJECT_VERSION} ${QUILLBROOK_MCPB_PLATFORM}
                 ${CMAKE_CURRENT_BINARY_DIR}/mcp_bundle/quillbrook-cli.mcpb ${PROJECT_SOURCE_DIR})
set_tests_properties(mcp_bundle PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
