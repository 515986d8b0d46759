// The seven tools of `quillbrook-cli mcp` written the way a TypeScript developer
// would with the official MCP SDK: one request line to the agent's socket per
// call, the answer's result returned as compact JSON text. The yardstick for
// the benchmark; it is never shipped.
//
// Usage: QUILLBROOK_SOCKET=/path/agent.sock node server.mjs

import net from 'node:net';

import { Server } from '@modelcontextprotocol/sdk/server/index.js';
import { StdioServerTransport } from '@modelcontextprotocol/sdk/server/stdio.js';
import { CallToolRequestSchema, ListToolsRequestSchema } from '@modelcontextprotocol/sdk/types.js';

const socketPath = process.env.QUILLBROOK_SOCKET;

const string = (description) => ({ type: 'string', description });
const schema = (properties, required) => ({ type: 'object', properties, required });
const account = string('Email address of the account');
const folder = string('Folder name (default: INBOX)');

// Tool name, agent action, input schema.
const tools = [
  ['list_accounts', 'list_accounts', schema({}, [])],
  ['list_folders', 'list_folders', schema({ account }, ['account'])],
  ['list_emails', 'list_emails',
    schema({ account, folder, limit: { type: 'number', description: 'Max emails to return' } }, ['account'])],
  ['read_email', 'read_email', schema({ account, email_id: string('Email UID'), folder }, ['account', 'email_id'])],
  ['list_drafts', 'list_local_drafts', schema({ account: string('Email address (optional filter)') }, [])],
  ['read_draft', 'read_local_draft', schema({ draft_id: string('Draft UUID') }, ['draft_id'])],
  ['create_draft', 'create_draft', schema({
    account, target: string("'local' or 'server'"), to: string('Recipients'), cc: string('CC'), bcc: string('BCC'),
    subject: string('Subject'), body: string('Body'), bodyHTML: string('HTML body'),
    in_reply_to: string('Original UID'), references: { type: 'array', items: { type: 'string' } },
  }, ['to', 'subject', 'body'])],
];
const actions = new Map(tools.map(([name, action]) => [name, action]));

// One exchange with the agent: a request line out, the answer line back.
function ask(request) {
  return new Promise((resolve, reject) => {
    const socket = net.createConnection(socketPath);
    const chunks = [];
    socket.on('connect', () => socket.write(JSON.stringify(request) + '\n'));
    socket.on('data', (chunk) => {
      chunks.push(chunk);
      if (chunk.includes(10)) {
        socket.destroy();
        const text = Buffer.concat(chunks).toString('utf8');
        resolve(text.slice(0, text.indexOf('\n')));
      }
    });
    socket.on('error', reject);
    socket.on('end', () => reject(new Error('connection_lost')));
  });
}

const server = new Server({ name: 'Quillbrook', version: '2.0.0' }, { capabilities: { tools: {} } });

server.setRequestHandler(ListToolsRequestSchema, async () => ({
  tools: tools.map(([name, , inputSchema]) => ({ name, description: name, inputSchema })),
}));

server.setRequestHandler(CallToolRequestSchema, async ({ params }) => {
  const action = actions.get(params.name);
  if (!action) {
    return { content: [{ type: 'text', text: `Error: Unknown tool: ${params.name}` }], isError: true };
  }
  const { email_id: uid, offset, ...rest } = params.arguments ?? {};
  const request = { ...rest, ...(uid === undefined ? {} : { uid }), action };
  if ((action === 'list_emails' || action === 'read_email') && !request.folder) request.folder = 'INBOX';
  let text;
  try {
    const answer = JSON.parse(await ask(request));
    text = JSON.stringify(answer.ok ? (answer.result ?? {}) : { error: `${answer.code}: ${answer.error}` });
  } catch (error) {
    text = JSON.stringify({ error: String(error.message ?? error) });
  }
  return { content: [{ type: 'text', text }] };
});

await server.connect(new StdioServerTransport());
