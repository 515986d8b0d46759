// Starts the server an unpacked MCP bundle describes, as a host would: the
// command, arguments and environment of its manifest, with ${__dirname} and the
// socket path setting filled in. Then one modern session against the stand-in
// agent: server/discover, tools/list (the manifest's tools, in order) and a call
// that reaches the agent. Needs Node.js alone, no MCP client.
//
// Usage: node bundle_session.mjs UNPACKED-BUNDLE-DIRECTORY VERSION

import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import readline from 'node:readline';

import { calls, check, finish, startStandInAgent } from './common.mjs';

const [directory, version] = process.argv.slice(2);
if (!directory || !version) {
  console.error('usage: node bundle_session.mjs UNPACKED-BUNDLE-DIRECTORY VERSION');
  process.exit(2);
}
const manifest = JSON.parse(readFileSync(path.join(directory, 'manifest.json'), 'utf8'));
const agent = await startStandInAgent();

// The host's substitutions: the bundle's folder and the user's settings.
const fill = (text) => text.replaceAll('${__dirname}', path.resolve(directory))
  .replaceAll('${user_config.socket_path}', agent.socketPath);
const { command, args = [], env = {} } = manifest.server.mcp_config;
const server = spawn(fill(command), args.map(fill), {
  env: { PATH: process.env.PATH, ...Object.fromEntries(Object.entries(env).map(([k, v]) => [k, fill(v)])) },
  stdio: ['pipe', 'pipe', 'inherit'],
});
const lines = readline.createInterface({ input: server.stdout })[Symbol.asyncIterator]();
const meta = {
  'io.modelcontextprotocol/protocolVersion': '2026-07-28',
  'io.modelcontextprotocol/clientCapabilities': {},
};
let nextId = 1;
async function request(method, params = {}) {
  const id = nextId++;
  server.stdin.write(JSON.stringify({ jsonrpc: '2.0', id, method, params: { ...params, _meta: meta } }) + '\n');
  const { value } = await lines.next();
  const answer = JSON.parse(value);
  assert.equal(answer.id, id);
  assert.ok(answer.result, value);
  return answer.result;
}

try {
  await check('bundle: the binary is executable and answers server/discover', async () => {
    const discovered = await request('server/discover');
    assert.deepEqual(discovered._meta['io.modelcontextprotocol/serverInfo'], { name: 'Quillbrook', version });
    assert.equal(manifest.version, version);
  });
  await check('bundle: the manifest lists the tools the server lists', async () => {
    const { tools } = await request('tools/list');
    assert.deepEqual(manifest.tools, tools.map(({ name, description }) => ({ name, description })));
  });
  await check('bundle: the socket path setting reaches the agent', async () => {
    const result = await request('tools/call', { name: 'list_accounts', arguments: {} });
    assert.equal(result.content[0].text, calls[0].text);
    assert.deepEqual(agent.requests.at(-1), { action: 'list_accounts' });
  });
} finally {
  server.stdin.end();
  agent.stop();
}
finish();
