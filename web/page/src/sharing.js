// The Share button and the opening of a shared link.
import { encodeSession, decodeSession, sessionFile, MAX_LINK } from './share.js';
import { download } from './downloads.js';

const $ = (id) => document.getElementById(id);

export function setUpSharing({ environment, expression, exercisesText, setStatus }) {
  let session = null;
  $('share').addEventListener('click', async () => {
    session = { environment: environment.state.doc.toString(), expression: expression.state.doc.toString(),
                exercises: exercisesText() };
    $('share-box').hidden = false;
    const fragment = await encodeSession(session);
    const link = location.origin + location.pathname + location.search + fragment;
    const tooLong = link.length > MAX_LINK;
    $('share-link').value = tooLong ? '' : link;
    $('share-link').hidden = tooLong;
    $('share-file').hidden = !tooLong;
    if (tooLong) {
      setStatus($('share-status'), `This session is too large for a link (${Math.ceil(link.length / 1024)} KB; ` +
                `a link holds at most ${MAX_LINK / 1024} KB). Download it as a file instead.`, 'bad');
      $('share-file').focus();
      return;
    }
    $('share-link').focus();
    $('share-link').select();
    const copied = navigator.clipboard ? navigator.clipboard.writeText(link).then(() => true, () => false) : false;
    setStatus($('share-status'), (await copied) ? 'The link is copied. It holds the whole session; nothing is stored anywhere else.'
                                                : 'Copy the link above. It holds the whole session; nothing is stored anywhere else.', '');
  });
  // The file is the console's batch input: the expression, then the
  // environment.
  $('share-file').addEventListener('click', () => { if (session) download('session.txt', sessionFile(session)); });
}

// Reads the session of a link: null without one, else { session } or
// { error } (never throws).
export function openLink(fragment) {
  return decodeSession(fragment).catch(() => ({ error: 'This link does not hold a session that can be opened. The page starts empty instead.' }));
}

// The fragment of a link already opened in this tab stays in the address
// (so that back and forward reach it again); a reload of it keeps what was
// typed since instead of opening the link again.
const OPENED = 'qorvantel.opened-link';
export function alreadyOpened(fragment) {
  try { return sessionStorage.getItem(OPENED) === fragment; } catch (error) { return false; }
}
export function markOpened(fragment) {
  try { sessionStorage.setItem(OPENED, fragment); } catch (error) { /* the page forgets */ }
}
