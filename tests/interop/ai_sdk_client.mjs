// Drives `quillbrook-cli mcp` with the AI SDK's MCP client (`@ai-sdk/mcp`,
// createMCPClient over its stdio transport): connect, list the tools, call all
// seven through the tools it builds for a model, send a notification the server
// does not know, close.
//
// Usage: node ai_sdk_client.mjs path/to/quillbrook-cli VERSION

import assert from 'node:assert/strict';

import { createMCPClient } from '@ai-sdk/mcp';
import { Experimental_StdioMCPTransport } from '@ai-sdk/mcp/mcp-stdio';

import {
  assertStrictSchema, check, checkEveryCall, checkUnknownNotificationIsIgnored, finish, serverUnderTest,
  startStandInAgent, toolNames,
} from './common.mjs';

const { cli, serverInfo } = serverUnderTest('ai_sdk_client.mjs');

const agent = await startStandInAgent();
const { requests } = agent;
const transport = new Experimental_StdioMCPTransport({
  command: cli,
  args: ['mcp'],
  env: { QUILLBROOK_SOCKET: agent.socketPath },
  stderr: 'pipe',
});
const errors = [];
let client;

try {
  await check('connects', async () => {
    client = await createMCPClient({ transport, onUncaughtError: (error) => errors.push(error) });
    assert.deepEqual(client.serverInfo, serverInfo);
  });

  let tools = {};
  await check('lists the seven tools, each schema fit for strict consumers', async () => {
    const listed = await client.listTools();
    assert.deepEqual(listed.tools.map((tool) => tool.name), toolNames);
    for (const tool of listed.tools) assertStrictSchema(tool.inputSchema, tool.name);
    tools = await client.tools();
    assert.deepEqual(Object.keys(tools), toolNames);
  });

  // The client fills in "isError": false where the answer leaves it out.
  await checkEveryCall(requests, (name, args) => tools[name].execute(args, { toolCallId: name, messages: [] }),
    { extras: { isError: false } });
  await checkUnknownNotificationIsIgnored(transport, () => client.listTools(), errors);

  await check('closes', async () => {
    await client.close();
    assert.deepEqual(errors.map(String), []);
  });
} finally {
  await client?.close().catch(() => {});
  agent.stop();
}
finish();
