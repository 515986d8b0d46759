// Drives `quillbrook-cli mcp` with the official MCP TypeScript SDK client, as
// an assistant's host would: connect (initialize and the initialized
// notification), list the tools, call each of the seven and an unknown one.
// A stand-in agent on a temporary socket answers each action with a canned
// result and records what it was asked. Exits non-zero on any mismatch.
//
// Usage: node sdk_client.mjs path/to/quillbrook-cli

import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { CallToolResultSchema } from '@modelcontextprotocol/sdk/types.js';

const cli = process.argv[2];
if (!cli) {
  console.error('usage: node sdk_client.mjs path/to/quillbrook-cli');
  process.exit(2);
}

// The agent's answer line for each action.
const agentAnswers = {
  list_accounts: { ok: true, result: { accounts: [{ email: 'ada@example.org', name: 'Ada' }] } },
  list_folders: { ok: true, result: { folders: ['INBOX', 'Archive/2024'] } },
  list_emails: { ok: true, result: { emails: [{ uid: '42', subject: 'Caf\u00e9 \u2014 menu' }], count: 1 } },
  read_email: { ok: true, result: { uid: '42', body: 'Hello', bodyHTML: '<p>Hello</p>' } },
  list_local_drafts: { ok: true, result: { drafts: [] } },
  read_local_draft: { ok: false, code: 'not_found', error: 'no draft D-9' },
  create_draft: { ok: true, result: { draft_id: 'D-1', target: 'server' } },
};

// Each tool call: its arguments, the request the agent must see, and the
// exact text of the one content item that must come back.
const calls = [
  {
    name: 'list_accounts',
    arguments: {},
    request: { action: 'list_accounts' },
    text: '{"accounts":[{"email":"ada@example.org","name":"Ada"}]}',
  },
  {
    name: 'list_folders',
    arguments: { account: 'ada@example.org' },
    request: { action: 'list_folders', account: 'ada@example.org' },
    text: '{"folders":["INBOX","Archive\\/2024"]}',
  },
  {
    name: 'list_emails',
    arguments: { account: 'ada@example.org', limit: 10, offset: 20 },
    request: { action: 'list_emails', account: 'ada@example.org', limit: 10, folder: 'INBOX' },
    text: '{"count":1,"emails":[{"subject":"Caf\u00e9 \u2014 menu","uid":"42"}]}',
  },
  {
    name: 'read_email',
    arguments: { account: 'ada@example.org', email_id: '42', folder: 'Archive' },
    request: { action: 'read_email', account: 'ada@example.org', uid: '42', folder: 'Archive' },
    text: '{"body":"Hello","bodyHTML":"<p>Hello<\\/p>","uid":"42"}',
  },
  {
    name: 'list_drafts',
    arguments: {},
    request: { action: 'list_local_drafts' },
    text: '{"drafts":[]}',
  },
  {
    name: 'read_draft',
    arguments: { draft_id: 'D-9' },
    request: { action: 'read_local_draft', draft_id: 'D-9' },
    text: '{"error":"not_found: no draft D-9"}',
  },
  {
    name: 'create_draft',
    arguments: { to: 'bob@example.org', subject: 'Hi', body: 'Hello', target: 'server', references: ['<m1@x>'] },
    request: {
      action: 'create_draft', to: 'bob@example.org', subject: 'Hi', body: 'Hello', target: 'server',
      references: ['<m1@x>'],
    },
    text: '{"draft_id":"D-1","target":"server"}',
  },
];

const toolNames = ['list_accounts', 'list_folders', 'list_emails', 'read_email', 'list_drafts', 'create_draft',
  'read_draft'];

function startAgent(socketPath) {
  const requests = [];
  const server = net.createServer((connection) => {
    let received = '';
    connection.on('data', (chunk) => {
      received += chunk.toString('utf8');
      const newline = received.indexOf('\n');
      if (newline < 0) return;
      const request = JSON.parse(received.slice(0, newline));
      requests.push(request);
      const answer = agentAnswers[request.action] ?? { ok: false, code: 'unknown_action', error: request.action };
      connection.end(JSON.stringify(answer) + '\n');
    });
    connection.on('error', () => {});
  });
  return new Promise((resolve) => server.listen(socketPath, () => resolve({ server, requests })));
}

let passed = 0;
let failed = 0;
async function check(what, body) {
  try {
    await body();
    passed += 1;
    console.log(`ok - ${what}`);
  } catch (error) {
    failed += 1;
    console.log(`not ok - ${what}\n  ${String(error.message).replaceAll('\n', '\n  ')}`);
  }
}

const directory = mkdtempSync(path.join(os.tmpdir(), 'qb-interop-'));
const { server: agent, requests } = await startAgent(path.join(directory, 'agent.sock'));
const transport = new StdioClientTransport({
  command: cli,
  args: ['mcp'],
  env: { QUILLBROOK_SOCKET: path.join(directory, 'agent.sock') },
  stderr: 'pipe',
});
let serverLog = '';
transport.stderr?.on('data', (chunk) => { serverLog += chunk.toString('utf8'); });
const client = new Client({ name: 'quillbrook-interop', version: '1.0.0' });

try {
  await check('connects: initialize and the initialized notification', async () => {
    await client.connect(transport);
    assert.deepEqual(client.getServerVersion(), { name: 'Quillbrook', version: '2.0.0' });
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
    assert.match(byName.create_draft.description, /configured account \u2014 it cannot be chosen\. Use for write\/draft\/reply requests\.$/);
  });

  for (const call of calls) {
    await check(`calls ${call.name}`, async () => {
      const before = requests.length;
      const result = await client.callTool({ name: call.name, arguments: call.arguments });
      assert.deepEqual(result, { content: [{ type: 'text', text: call.text }] });
      assert.deepEqual(requests.slice(before), [call.request]);
    });
  }

  await check('reports an unknown tool as an error result without asking the agent', async () => {
    const before = requests.length;
    const result = await client.callTool({ name: 'send_email', arguments: { to: 'x@y' } });
    assert.deepEqual(result, { content: [{ type: 'text', text: 'Error: Unknown tool: send_email' }], isError: true });
    assert.equal(requests.length, before);
  });

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
  agent.close();
  rmSync(directory, { recursive: true, force: true });
}

console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
