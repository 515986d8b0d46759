// Drives `quillbrook-cli mcp` with the official MCP TypeScript SDK 1.x client, as
// an assistant's host would: connect (initialize and the initialized
// notification), list the tools, call each of the seven and an unknown one.
// A stand-in agent on a temporary socket answers each action with a canned
// result and records what it was asked. Exits non-zero on any mismatch.
//
// Usage: node sdk_client.mjs path/to/quillbrook-cli VERSION

import assert from 'node:assert/strict';

import {
  assertStrictSchema, check, checkEveryCall, checkUnknownNotificationIsIgnored, finish, serverUnderTest,
  startStandInAgent, toolNames,
} from './common.mjs';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { CallToolResultSchema } from '@modelcontextprotocol/sdk/types.js';

const { cli, serverInfo } = serverUnderTest('sdk_client.mjs');

const agent = await startStandInAgent();
const { requests } = agent;
const transport = new StdioClientTransport({
  command: cli,
  args: ['mcp'],
  env: { QUILLBROOK_SOCKET: agent.socketPath },
  stderr: 'pipe',
});
let serverLog = '';
transport.stderr?.on('data', (chunk) => { serverLog += chunk.toString('utf8'); });
const client = new Client({ name: 'quillbrook-interop', version: '1.0.0' });
const clientErrors = [];
client.onerror = (error) => clientErrors.push(error);

try {
  await check('connects: initialize and the initialized notification', async () => {
    await client.connect(transport);
    assert.deepEqual(client.getServerVersion(), serverInfo);
    assert.deepEqual(client.getServerCapabilities(), { tools: {} });
  });

  await check('answers ping', async () => {
    assert.deepEqual(await client.ping(), {});
  });

  await check('lists the seven tools in catalogue order', async () => {
    const { tools, nextCursor } = await client.listTools();
    assert.deepEqual(tools.map((tool) => tool.name), toolNames);
    assert.equal(nextCursor, undefined);
    const byName = Object.fromEntries(tools.map((tool) => [tool.name, tool]));
    assert.deepEqual(byName.list_accounts.inputSchema, { type: 'object', properties: {}, required: [] });
    assert.deepEqual(byName.read_email.inputSchema.required, ['account', 'email_id']);
    assert.deepEqual(byName.create_draft.inputSchema.required, ['to', 'subject', 'body']);
    assert.equal(byName.list_emails.inputSchema.properties.limit.type, 'number');
    assert.deepEqual(byName.create_draft.inputSchema.properties.references,
      { type: 'array', items: { type: 'string' }, description: 'Reference message-ids for threading (server target only)' });
    for (const tool of tools) assertStrictSchema(tool.inputSchema, tool.name);
    assert.match(byName.create_draft.description, /configured account \u2014 it cannot be chosen\. Use for write\/draft\/reply requests\.$/);
  });

  await checkEveryCall(requests, (name, args) => client.callTool({ name, arguments: args }));

  await check('reports an unknown tool as an error result without asking the agent', async () => {
    const before = requests.length;
    const result = await client.callTool({ name: 'send_email', arguments: { to: 'x@y' } });
    assert.deepEqual(result, { content: [{ type: 'text', text: 'Error: Unknown tool: send_email' }], isError: true });
    assert.equal(requests.length, before);
  });

  await checkUnknownNotificationIsIgnored(transport, () => client.ping(), clientErrors);

  await check('refuses a call without a tool name with -32602', async () => {
    await assert.rejects(client.request({ method: 'tools/call', params: {} }, CallToolResultSchema),
      (error) => error.code === -32602 && /Missing tool name/.test(error.message));
  });

  await check('ends by itself when its input closes, logging start and stop only', async () => {
    const started = Date.now();
    await client.close();
    await new Promise((resolve) => setImmediate(resolve));
    // The transport signals a server that is still running after 2 s; one that
    // ended on its own has written its closing log line.
    assert.ok(Date.now() - started < 2000, 'the server did not end when its input closed');
    assert.equal(serverLog, '[MCP] Quillbrook MCP Server starting...\n[MCP] stdin closed, server exiting\n');
  });
} finally {
  await client.close().catch(() => {});
  agent.stop();
}
finish();
