// Drives `quillbrook-cli mcp` with the official MCP TypeScript SDK v2 client
// (`@modelcontextprotocol/client`): connect, list the tools, call all seven
// against the stand-in agent, send a notification the server does not know,
// close; and once more with the client's version probe, which asks
// server/discover first and falls back to initialize on -32601.
//
// Usage: node sdk_v2_client.mjs path/to/quillbrook-cli VERSION

import assert from 'node:assert/strict';

import { Client } from '@modelcontextprotocol/client';
import { StdioClientTransport } from '@modelcontextprotocol/client/stdio';

import {
  assertStrictSchema, calls, check, checkEveryCall, checkUnknownNotificationIsIgnored, finish, serverUnderTest,
  startStandInAgent, toolNames,
} from './common.mjs';

const { cli, serverInfo } = serverUnderTest('sdk_v2_client.mjs');

// The SDK's stdio transport, subclassed only so that the version probe runs on
// this connection (on the base class it runs on a separate process) and every
// message sent is recorded.
class RecordingStdioTransport extends StdioClientTransport {
  sentMethods = [];

  send(message, ...rest) {
    this.sentMethods.push(message.method);
    return super.send(message, ...rest);
  }
}

// A client on a fresh server process; `options` go to the Client.
function connectable(agent, options = {}) {
  const transport = new RecordingStdioTransport({
    command: cli,
    args: ['mcp'],
    env: { QUILLBROOK_SOCKET: agent.socketPath },
    stderr: 'pipe',
  });
  const client = new Client({ name: 'quillbrook-interop-v2', version: '1.0.0' }, options);
  const errors = [];
  client.onerror = (error) => errors.push(error);
  return { transport, client, errors };
}

const agent = await startStandInAgent();
const { requests } = agent;
const { transport, client, errors } = connectable(agent);

try {
  await check('connects', async () => {
    await client.connect(transport);
    assert.deepEqual(client.getServerVersion(), serverInfo);
    assert.deepEqual(client.getServerCapabilities(), { tools: {} });
  });

  await check('lists the seven tools, each schema fit for strict consumers', async () => {
    const { tools } = await client.listTools();
    assert.deepEqual(tools.map((tool) => tool.name), toolNames);
    for (const tool of tools) assertStrictSchema(tool.inputSchema, tool.name);
  });

  await checkEveryCall(requests, (name, args) => client.callTool({ name, arguments: args }));
  await checkUnknownNotificationIsIgnored(transport, () => client.ping(), errors);

  await check('closes', async () => {
    await client.close();
    assert.deepEqual(errors.map(String), []);
  });

  await check('probes with server/discover, falls back to initialize on -32601 and serves a call', async () => {
    const probe = connectable(agent, { versionNegotiation: { mode: 'auto' } });
    try {
      await probe.client.connect(probe.transport);
      assert.deepEqual(probe.transport.sentMethods.slice(0, 2), ['server/discover', 'initialize']);
      assert.deepEqual(probe.client.getServerVersion(), serverInfo);
      const result = await probe.client.callTool({ name: 'list_accounts', arguments: {} });
      assert.deepEqual(result, { content: [{ type: 'text', text: calls[0].text }] });
      assert.deepEqual(probe.errors.map(String), []);
    } finally {
      await probe.client.close().catch(() => {});
    }
  });
} finally {
  await client.close().catch(() => {});
  agent.stop();
}
finish();
