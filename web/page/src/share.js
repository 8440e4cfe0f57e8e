// A session in a link: the environment, the expression and the exercise
// file, as JSON compressed with deflate and written base64url in the
// URL's fragment, which browsers never send to a server. A link is
// untrusted: what it carries is checked for shape and only ever shown as
// text.
//
// A link of this edition is "#session=2.LENGTH.CRC.DATA": the number of
// characters of DATA and their CRC-32 (8 hex digits) stand before it, so
// that a link cut short or with any character changed is refused as
// damaged instead of opening something else. Links of the first edition
// ("#session=DATA", no checksum) still open.

export const PREFIX = '#session=';
// Links longer than this are cut by mail and chat programs; a larger
// session is offered as a file instead.
export const MAX_LINK = 64 * 1024;
// A fragment longer than this is not read at all, and a session is not
// inflated past the second bound (a small link can inflate enormously).
const MAX_FRAGMENT = 1024 * 1024;
const MAX_SESSION = 64 * 1024 * 1024;

function toBase64url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64url(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

async function pipe(bytes, transform, limit) {
  const reader = new Blob([bytes]).stream().pipeThrough(transform).getReader();
  const chunks = [];
  let size = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    size += value.length;
    if (size > limit) { reader.cancel(); throw new Error('it holds more than ' + (limit >> 20) + ' MB'); }
    chunks.push(value);
  }
  const out = new Uint8Array(size);
  let at = 0;
  for (const chunk of chunks) { out.set(chunk, at); at += chunk.length; }
  return out;
}

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

// CRC-32 of a text's characters (all ASCII here), as 8 hex digits.
export function checksum(text) {
  let crc = 0xffffffff;
  for (let i = 0; i < text.length; ++i) crc = CRC_TABLE[(crc ^ text.charCodeAt(i)) & 0xff] ^ (crc >>> 8);
  return ((crc ^ 0xffffffff) >>> 0).toString(16).padStart(8, '0');
}

// The fragment for a session: { environment, expression, exercises? }.
export async function encodeSession(session) {
  const json = JSON.stringify(Object.assign({ v: 1 }, session));
  const packed = await pipe(new TextEncoder().encode(json), new CompressionStream('deflate-raw'), Infinity);
  const data = toBase64url(packed);
  return PREFIX + '2.' + data.length + '.' + checksum(data) + '.' + data;
}

export const DAMAGED = 'This link is damaged or incomplete';

// Reads a fragment. Returns null when the fragment holds no session,
// { session } when it does, or { error } with what is wrong with it.
export async function decodeSession(fragment) {
  if (!fragment || !fragment.startsWith(PREFIX)) return null;
  let data = fragment.slice(PREFIX.length);
  const broken = (why) => ({ error: 'This link does not hold a session that can be opened: ' + why + '. ' +
                                    'The page starts empty instead.' });
  const damaged = (why) => ({ error: DAMAGED + ': ' + why + '. Ask for the link again, or copy all of it. ' +
                                     'The page starts empty instead.' });
  if (data.length > MAX_FRAGMENT) return broken('it is ' + data.length + ' characters long, far longer than any session link');
  if (data.includes('.') && /^[A-Za-z0-9_.-]*$/.test(data)) {
    const parts = /^2\.(\d{1,8})\.([0-9a-f]{8})\.([A-Za-z0-9_-]*)$/.exec(data);
    if (!parts) {
      // Cut inside its header, or a header changed.
      return /^2(\.\d{0,8}(\.[0-9a-f]{0,8})?)?$/.test(data) ? damaged('it is cut short before its data')
                                                             : damaged('its header is not that of a session link');
    }
    const [, length, crc, body] = parts;
    if (body.length < Number(length)) return damaged(`it is cut short (${body.length} of its ${length} characters are here)`);
    if (body.length > Number(length) || checksum(body) !== crc) return damaged('some of its characters have changed');
    data = body;
  }
  if (!/^[A-Za-z0-9_-]*$/.test(data)) return broken('it holds characters a session link never has');
  if (data.length % 4 === 1) return damaged('it is cut short');
  let json;
  try {
    const bytes = await pipe(fromBase64url(data), new DecompressionStream('deflate-raw'), MAX_SESSION);
    json = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch (error) {
    return /MB$/.test(error.message) ? broken(error.message) : damaged('it is cut short or damaged');
  }
  let session;
  try { session = JSON.parse(json); } catch (error) { return broken('its content is damaged'); }
  if (!session || typeof session !== 'object' || session.v !== 1 || typeof session.environment !== 'string' ||
      typeof session.expression !== 'string' || (session.exercises !== undefined && typeof session.exercises !== 'string'))
    return broken('its content is not a session');
  return { session: { environment: session.environment, expression: session.expression, exercises: session.exercises } };
}

// The batch input the console reads: the expression, then the environment.
export function sessionFile(session) {
  return session.expression.trim() ? session.expression.replace(/\s*$/, '\n') + session.environment : session.environment;
}
