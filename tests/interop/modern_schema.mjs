// Checks answer lines against the published schema of the modern MCP revision
// (schema/README.md): each line as the definition for its request's method.

import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';

import Ajv2020 from 'ajv/dist/2020.js';
import addFormats from 'ajv-formats';

const schema = JSON.parse(readFileSync(new URL('./schema/mcp-2026-07-28.schema.json', import.meta.url), 'utf8'));
// Strict, except that the schema's request ids are "string or integer".
const ajv = new Ajv2020({ allErrors: true, allowUnionTypes: true });
addFormats(ajv);
ajv.addSchema(schema, 'mcp');

// The definition a successful answer must meet, by the method it answers.
const resultDefinitions = {
  'server/discover': 'DiscoverResultResponse',
  'tools/list': 'ListToolsResultResponse',
  'tools/call': 'CallToolResultResponse',
};

// The definition of the error object, by its code.
const errorDefinitions = {
  [-32700]: 'ParseError',
  [-32600]: 'InvalidRequestError',
  [-32601]: 'MethodNotFoundError',
  [-32602]: 'InvalidParamsError',
};

const validators = new Map();
function validate(definition, value, where) {
  if (!validators.has(definition)) validators.set(definition, ajv.compile({ $ref: `mcp#/$defs/${definition}` }));
  const valid = validators.get(definition);
  assert.ok(valid(value), `${where} is not a valid ${definition}: ${ajv.errorsText(valid.errors)}`);
}

// Validates one answer line; `method` is what the request it answers asked for.
export function assertModernAnswer(line, method) {
  const answer = JSON.parse(line);
  const where = `the answer to ${method ?? 'a request without a usable id'} (${line.slice(0, 120)})`;
  if ('result' in answer) {
    validate(resultDefinitions[method] ?? 'JSONRPCResultResponse', answer, where);
    return;
  }
  validate('JSONRPCErrorResponse', answer, where);
  if (answer.error.code === -32022) validate('UnsupportedProtocolVersionError', answer, where);
  const errorDefinition = errorDefinitions[answer.error.code];
  if (errorDefinition) validate(errorDefinition, answer.error, where);
}
