// Drives `quillbrook-cli mcp` with the official MCP TypeScript SDK v2 client
// (`@modelcontextprotocol/client`) in each of its three ways of opening:
// - legacy (its default): initialize, list the tools, call all seven, send a
//   notification the server does not know, close;
// - pinned to the modern revision 2026-07-28: server/discover, list the tools
//   with their titles and annotations, call all seven and an unknown one, and
//   a few raw requests the client itself no longer sends;
// - auto: the version probe must find the modern revision and stay with it,
//   sending no initialize.
// Every line the server writes to a modern client is checked against the
// revision's published schema.
//
// Usage: node sdk_v2_client.mjs path/to/quillbrook-cli VERSION

import assert from 'node:assert/strict';
import { StringDecoder } from 'node:string_decoder';

import { Client } from '@modelcontextprotocol/client';
import { StdioClientTransport } from '@modelcontextprotocol/client/stdio';

import {
  assertStrictSchema, calls, check, checkEveryCall, checkUnknownNotificationIsIgnored, finish, serverUnderTest,
  modernResult, modernToolNames, startStandInAgent, toolNames,
} from './common.mjs';
import { assertModernAnswer } from './modern_schema.mjs';

const { cli, serverInfo } = serverUnderTest('sdk_v2_client.mjs');
const modernVersion = '2026-07-28';
const modernMeta = {
  'io.modelcontextprotocol/protocolVersion': modernVersion,
  'io.modelcontextprotocol/clientCapabilities': {},
};
const modernExtras = { _meta: { 'io.modelcontextprotocol/serverInfo': serverInfo } };

// The SDK's stdio transport, subclassed so that the version probe runs on this
// connection (on the base class it runs on a separate process), every message
// sent is recorded and every line the server writes is kept as written.
class RecordingStdioTransport extends StdioClientTransport {
  sent = [];
  answerLines = [];
  #partial = '';
  #lineWaiters = [];

  async start() {
    await super.start();
    // A character may arrive split over two chunks.
    const decoder = new StringDecoder('utf8');
    this._process.stdout.on('data', (chunk) => {
      const lines = (this.#partial + decoder.write(chunk)).split('\n');
      this.#partial = lines.pop();
      for (const line of lines) {
        this.answerLines.push(line);
        this.#lineWaiters.shift()?.(line);
      }
    });
  }

  send(message, ...rest) {
    this.sent.push(message);
    return super.send(message, ...rest);
  }

  get sentMethods() {
    return this.sent.map((message) => message.method);
  }

  // Sends `message` past the client and returns the line that answers it,
  // which the client never sees.
  async exchangeRaw(message) {
    const deliver = this.onmessage;
    this.onmessage = () => {};
    try {
      const line = new Promise((resolve) => this.#lineWaiters.push(resolve));
      await this.send(message);
      return JSON.parse(await line);
    } finally {
      this.onmessage = deliver;
    }
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

// Every line the server wrote validates against the modern schema, as the
// answer to the method its id names.
function checkEveryAnswerAgainstTheSchema(transport) {
  return check('writes only answers that are valid under the modern schema', async () => {
    const methods = new Map(transport.sent.filter((message) => 'id' in message)
      .map((message) => [JSON.stringify(message.id), message.method]));
    assert.ok(transport.answerLines.length > 0, 'no answer line was written');
    for (const line of transport.answerLines) {
      assertModernAnswer(line, methods.get(JSON.stringify(JSON.parse(line).id)));
    }
  });
}

const agent = await startStandInAgent();
const { requests } = agent;

async function legacySession() {
  const { transport, client, errors } = connectable(agent);
  try {
    await check('legacy: connects with initialize', async () => {
      await client.connect(transport);
      assert.deepEqual(transport.sentMethods.slice(0, 2), ['initialize', 'notifications/initialized']);
      assert.deepEqual(client.getServerVersion(), serverInfo);
      assert.deepEqual(client.getServerCapabilities(), { tools: {} });
    });

    await check('legacy: lists the seven tools, each schema fit for strict consumers and nothing more', async () => {
      const { tools } = await client.listTools();
      assert.deepEqual(tools.map((tool) => tool.name), toolNames);
      for (const tool of tools) {
        assertStrictSchema(tool.inputSchema, tool.name);
        assert.deepEqual(Object.keys(tool).sort(), ['description', 'inputSchema', 'name']);
      }
    });

    await checkEveryCall(requests, (name, args) => client.callTool({ name, arguments: args }));
    await checkUnknownNotificationIsIgnored(transport, () => client.ping(), errors);

    await check('legacy: no answer carries a result type', async () => {
      for (const line of transport.answerLines) assert.equal(JSON.parse(line).result?.resultType, undefined, line);
    });

    await check('legacy: closes', async () => {
      await client.close();
      assert.deepEqual(errors.map(String), []);
    });
  } finally {
    await client.close().catch(() => {});
  }
}

async function pinnedSession() {
  const { transport, client, errors } = connectable(agent, { versionNegotiation: { mode: { pin: modernVersion } } });
  try {
    await check('pinned: connects with server/discover alone', async () => {
      await client.connect(transport);
      assert.deepEqual(transport.sentMethods, ['server/discover']);
      assert.equal(client.getNegotiatedProtocolVersion(), modernVersion);
      assert.deepEqual(client.getServerVersion(), serverInfo);
      assert.deepEqual(client.getServerCapabilities(), { tools: {} });
      const discovered = client.getDiscoverResult();
      assert.deepEqual(discovered.supportedVersions, [modernVersion]);
      assert.equal(discovered.cacheScope, 'public');
      assert.ok(discovered.ttlMs > 0);
      assert.match(discovered.instructions, /Start with list_accounts/);
    });

    await check('pinned: lists the seven tools and reply_draft with titles, output schemas and the hints hosts ask a person by', async () => {
      const { tools } = await client.listTools();
      assert.deepEqual(tools.map((tool) => tool.name), modernToolNames);
      for (const tool of tools) {
        assertStrictSchema(tool.inputSchema, tool.name);
        assert.equal(typeof tool.title, 'string', `${tool.name} has no title`);
        const expected = tool.name === 'create_draft' || tool.name === 'reply_draft'
          ? { readOnlyHint: false, destructiveHint: false, idempotentHint: false, openWorldHint: false }
          : { readOnlyHint: true };
        assert.deepEqual(tool.annotations, expected, tool.name);
        assertStrictSchema(tool.outputSchema, `${tool.name} output`);
      }
    });

    // The client checks each typed result against the tool's output schema.
    await checkEveryCall(requests, (name, args) => client.callTool({ name, arguments: args }),
      { era: 'modern', extras: modernExtras });

    await check('pinned: reads an email cut to the size asked for, HTML included', async () => {
      const result = await client.callTool({ name: 'read_email',
        arguments: { account: 'ada@example.org', email_id: '42', include_html: true, max_chars: 2 } });
      const note = (count) => `\n[${count} more characters left out; a larger max_chars shows them]`;
      assert.deepEqual(result.structuredContent,
        { uid: '42', from: 'bob@example.org', subject: 'Hi', date: 'Mon', body: `He${note(3)}`, bodyHTML: `<p${note(10)}` });
      assert.deepEqual(requests.at(-1),
        { action: 'read_email', account: 'ada@example.org', uid: '42', folder: 'INBOX' });
    });

    await check('pinned: reports an unknown tool as an error result without asking the agent', async () => {
      const before = requests.length;
      const result = await client.callTool({ name: 'send_email', arguments: { to: 'x@y' } });
      assert.deepEqual(result,
        { content: [{ type: 'text', text: 'Error: Unknown tool: send_email' }], isError: true, ...modernExtras });
      assert.equal(requests.length, before);
    });

    await checkUnknownNotificationIsIgnored(transport,
      () => client.callTool({ name: 'list_accounts', arguments: {} }), errors);

    await check('pinned: never initializes', async () => {
      assert.ok(!transport.sentMethods.includes('initialize'), transport.sentMethods.join(' '));
    });

    await check('pinned: answers what the client no longer sends, and refuses what it cannot serve', async () => {
      const raw = (id, method, meta) => transport.exchangeRaw(
        { jsonrpc: '2.0', id, method, params: { _meta: { ...modernMeta, ...meta } } });
      assert.deepEqual(await raw('p', 'ping'),
        { jsonrpc: '2.0', id: 'p', result: { resultType: 'complete', ...modernExtras } });
      const unsupported = await raw('v', 'tools/list', { 'io.modelcontextprotocol/protocolVersion': '2099-01-01' });
      assert.deepEqual(unsupported.error, { code: -32022, message: 'Unsupported protocol version',
        data: { supported: [modernVersion], requested: '2099-01-01' } });
      const incapable = await raw('c', 'tools/list', { 'io.modelcontextprotocol/clientCapabilities': undefined });
      assert.deepEqual(incapable.error, { code: -32602, message: 'Missing client capabilities' });
      assert.equal((await raw('i', 'initialize')).error.code, -32601);
    });

    await check('pinned: closes', async () => {
      await client.close();
      assert.deepEqual(errors.map(String), []);
    });
    await checkEveryAnswerAgainstTheSchema(transport);
  } finally {
    await client.close().catch(() => {});
  }
}

async function autoSession() {
  const { transport, client, errors } = connectable(agent, { versionNegotiation: { mode: 'auto' } });
  try {
    await check('auto: the version probe finds the modern revision and stays with it', async () => {
      await client.connect(transport);
      assert.deepEqual(transport.sentMethods, ['server/discover']);
      assert.equal(client.getNegotiatedProtocolVersion(), modernVersion);
      assert.deepEqual(client.getServerVersion(), serverInfo);
      const { tools } = await client.listTools();
      assert.deepEqual(tools.map((tool) => tool.name), modernToolNames);
      const result = await client.callTool({ name: 'list_accounts', arguments: {} });
      assert.deepEqual(result, { ...modernResult(calls[0]), ...modernExtras });
      assert.deepEqual(transport.sentMethods, ['server/discover', 'tools/list', 'tools/call']);
      await client.close();
      assert.deepEqual(errors.map(String), []);
    });
    await checkEveryAnswerAgainstTheSchema(transport);
  } finally {
    await client.close().catch(() => {});
  }
}

try {
  await legacySession();
  await pinnedSession();
  await autoSession();
} finally {
  agent.stop();
}
finish();
