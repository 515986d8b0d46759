// What the three client tests share: their command line, the stand-in agent,
// the seven tool calls with what the agent must see and what must come back,
// the strict-schema check, and a small test reporter.

import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

// The program under test and the version it must report, from the command
// line `node <script> path/to/quillbrook-cli VERSION` (run.sh passes the
// version that CMakeLists.txt sets).
export function serverUnderTest(script) {
  const [cli, version] = process.argv.slice(2);
  if (!cli || !version) {
    console.error(`usage: node ${script} path/to/quillbrook-cli VERSION`);
    process.exit(2);
  }
  return { cli, serverInfo: { name: 'Quillbrook', version } };
}

// The agent's answer line for each action.
export const agentAnswers = {
  list_accounts: { ok: true, result: { accounts: [{ email: 'ada@example.org', name: 'Ada' }] } },
  list_folders: { ok: true, result: { folders: [{ name: 'INBOX', unread: 2 }, { name: 'Archive/2024' }] } },
  list_emails: { ok: true, result: { emails: [{ uid: '42', subject: 'Caf\u00e9 \u2014 menu' }], count: 1 } },
  read_email: {
    ok: true,
    result: { uid: '42', from: 'bob@example.org', subject: 'Hi', date: 'Mon', body: 'Hello', bodyHTML: '<p>Hello</p>' },
  },
  list_local_drafts: { ok: true, result: { drafts: [] } },
  read_local_draft: { ok: false, code: 'not_found', error: 'no draft D-9' },
  create_draft: { ok: true, result: { draft_id: 'D-1', target: 'server' } },
};

// Each tool call: its arguments, the request the agent must see, and the
// exact text of the one content item that must come back.
export const calls = [
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
    text: '{"folders":[{"name":"INBOX","unread":2},{"name":"Archive\\/2024"}]}',
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
    text: '{"body":"Hello","bodyHTML":"<p>Hello<\\/p>","date":"Mon","from":"bob@example.org","subject":"Hi","uid":"42"}',
    // A modern client gets the HTML only when it asks for it.
    modernText: '{"body":"Hello","date":"Mon","from":"bob@example.org","subject":"Hi","uid":"42"}',
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
    agentFailed: true,
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
  {
    name: 'reply_draft',
    modernOnly: true,
    arguments: { account: 'ada@example.org', email_id: '42', body: 'Yes', target: 'server' },
    requests: [
      { action: 'read_email', account: 'ada@example.org', uid: '42', folder: 'INBOX' },
      {
        action: 'create_draft', account: 'ada@example.org', to: 'bob@example.org', subject: 'Re: Hi',
        body: 'Yes\n\nOn Mon, bob@example.org wrote:\n> Hello', target: 'server', in_reply_to: '42',
        references: ['42'],
      },
    ],
    text: '{"draft_id":"D-1","target":"server"}',
  },
];

export const toolNames = ['list_accounts', 'list_folders', 'list_emails', 'read_email', 'list_drafts', 'create_draft',
  'read_draft'];
export const modernToolNames = [...toolNames, 'reply_draft'];

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
export async function check(what, body) {
  try {
    await body();
    passed += 1;
    console.log(`ok - ${what}`);
  } catch (error) {
    failed += 1;
    console.log(`not ok - ${what}\n  ${String(error.message).replaceAll('\n', '\n  ')}`);
  }
}

// What strict consumers demand of every schema node: a "type", and "items" for
// an array, "properties" for an object.
export function assertStrictSchema(schema, where) {
  assert.equal(typeof schema?.type, 'string', `${where} has no "type"`);
  if (schema.type === 'array') {
    assert.ok(schema.items, `${where} is an array without "items"`);
    assertStrictSchema(schema.items, `${where}.items`);
  }
  if (schema.type === 'object') {
    assert.ok(schema.properties && typeof schema.properties === 'object', `${where} is an object without "properties"`);
    for (const [name, property] of Object.entries(schema.properties)) assertStrictSchema(property, `${where}.${name}`);
  }
}

// A stand-in agent on a socket in a fresh temporary directory.
export async function startStandInAgent() {
  const directory = mkdtempSync(path.join(os.tmpdir(), 'qb-interop-'));
  const socketPath = path.join(directory, 'agent.sock');
  const { server, requests } = await startAgent(socketPath);
  return {
    socketPath,
    requests,
    stop() {
      server.close();
      rmSync(directory, { recursive: true, force: true });
    },
  };
}

// The legacy result of `call`: its text alone.
export function legacyResult(call) {
  return { content: [{ type: 'text', text: call.text }] };
}

// The modern result of `call`: its text, and beside it the agent's result
// typed, or the agent's failure flagged.
export function modernResult(call) {
  const text = call.modernText ?? call.text;
  return {
    content: [{ type: 'text', text }],
    ...(call.agentFailed ? { isError: true } : { structuredContent: JSON.parse(text) }),
  };
}

// Calls each tool of `era` ('legacy' or 'modern') with `callTool(name,
// arguments)`: the agent must see exactly the mapped requests, and the result
// must be the era's result plus `extras`, what the era or the client adds.
export async function checkEveryCall(requests, callTool, { era = 'legacy', extras = {} } = {}) {
  const expected = era === 'modern' ? modernResult : legacyResult;
  for (const call of calls.filter((c) => era === 'modern' || !c.modernOnly)) {
    await check(`calls ${call.name}`, async () => {
      const before = requests.length;
      const result = await callTool(call.name, call.arguments);
      assert.deepEqual(result, { ...expected(call), ...extras });
      assert.deepEqual(requests.slice(before), call.requests ?? [call.request]);
    });
  }
}

// Sends the notification clients send when their roots change, which the
// server does not know, then `followUp()`, a request: the follow-up's answer
// must be the only line that came back, and the client must report no error.
export async function checkUnknownNotificationIsIgnored(transport, followUp, clientErrors) {
  await check('answers no notification it does not know, and the client sees no error', async () => {
    const received = [];
    const deliver = transport.onmessage;
    transport.onmessage = (message, ...rest) => {
      received.push(message);
      deliver?.call(transport, message, ...rest);
    };
    await transport.send({ jsonrpc: '2.0', method: 'notifications/roots/list_changed' });
    await followUp();
    transport.onmessage = deliver;
    assert.equal(received.length, 1, `answers: ${JSON.stringify(received)}`);
    assert.deepEqual(clientErrors.map(String), []);
  });
}

export function finish() {
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}
