// A session in a link: the environment, the expression and the exercise
// file, as JSON compressed with deflate and written base64url in the
// URL's fragment, which browsers never send to a server. A link is
// untrusted: what it carries is checked for shape and only ever shown as
// text.

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

// The fragment for a session: { environment, expression, exercises? }.
export async function encodeSession(session) {
  const json = JSON.stringify(Object.assign({ v: 1 }, session));
  const packed = await pipe(new TextEncoder().encode(json), new CompressionStream('deflate-raw'), Infinity);
  return PREFIX + toBase64url(packed);
}

// Reads a fragment. Returns null when the fragment holds no session,
// { session } when it does, or { error } with what is wrong with it.
export async function decodeSession(fragment) {
  if (!fragment || !fragment.startsWith(PREFIX)) return null;
  const data = fragment.slice(PREFIX.length);
  const broken = (why) => ({ error: 'This link does not hold a session that can be opened: ' + why + '. ' +
                                    'The page starts empty instead.' });
  if (data.length > MAX_FRAGMENT) return broken('it is ' + data.length + ' characters long, far longer than any session link');
  if (!/^[A-Za-z0-9_-]*$/.test(data) || data.length % 4 === 1) return broken('it holds characters a session link never has');
  let json;
  try {
    const bytes = await pipe(fromBase64url(data), new DecompressionStream('deflate-raw'), MAX_SESSION);
    json = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch (error) {
    return broken(/MB$/.test(error.message) ? error.message : 'it is cut short or damaged');
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
