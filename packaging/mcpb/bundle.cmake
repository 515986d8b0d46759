# Writes one MCP bundle (.mcpb): a zip of manifest.json and server/quillbrook-cli
# (mode 0755), which a desktop host installs with one click.
#
#   cmake -DCLI=<client to bundle> -DCATALOGUE_CLI=<client that runs here>
#         -DVERSION=<version> -DPLATFORM=<linux|darwin> -DOUT=<file.mcpb> -P bundle.cmake
#
# The tools the manifest lists come from CATALOGUE_CLI's own modern tools/list,
# so that the catalogue stays the one place that names them; CLI may be a
# binary for another system (the universal macOS client).
cmake_minimum_required(VERSION 3.25)
foreach(variable CLI CATALOGUE_CLI VERSION PLATFORM OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "bundle.cmake needs -D${variable}=...")
  endif()
endforeach()

get_filename_component(out_dir ${OUT} DIRECTORY)
get_filename_component(out_name ${OUT} NAME_WE)
set(stage ${out_dir}/${out_name}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/server)

# The catalogue, as a modern client sees it: the legacy tools and the modern ones.
file(WRITE ${stage}/tools-list.jsonl
     "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/list\",\"params\":{\"_meta\":{"
     "\"io.modelcontextprotocol/protocolVersion\":\"2026-07-28\",\"io.modelcontextprotocol/clientCapabilities\":{}}}}\n")
execute_process(COMMAND ${CATALOGUE_CLI} mcp
                INPUT_FILE ${stage}/tools-list.jsonl OUTPUT_VARIABLE answer ERROR_QUIET RESULT_VARIABLE status)
file(REMOVE ${stage}/tools-list.jsonl)
string(JSON count ERROR_VARIABLE error LENGTH "${answer}" result tools)
if(NOT status EQUAL 0 OR error)
  message(FATAL_ERROR "${CATALOGUE_CLI} mcp did not list its tools (${status}): ${error}")
endif()
# The manifest names each tool and says what it does; the rest is the server's to tell.
set(tools "[]")
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  string(JSON tool GET "${answer}" result tools ${index})
  foreach(member inputSchema outputSchema annotations title)
    string(JSON tool REMOVE "${tool}" ${member})
  endforeach()
  string(JSON tools SET "${tools}" ${index} "${tool}")
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/manifest.json.in ${stage}/manifest.json @ONLY)
file(COPY_FILE ${CLI} ${stage}/server/quillbrook-cli)
file(CHMOD ${stage}/server/quillbrook-cli
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# A fixed time stamp, so that the same client always gives the same bundle.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip "--mtime=2000-01-01 00:00:00 UTC"
                        manifest.json server/quillbrook-cli
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
file(REMOVE_RECURSE ${stage})
message(STATUS "Wrote ${OUT}")
