// A course folder beside the page: course/index.json (see docs/course.md)
// names the course's databases and exercise sets, read from the page's own
// origin and nothing else. The page looks in its own folder first
// (SITE/course/ beside index.html), then in the folder above (course/
// beside a copied dist/ folder).
const PLACES = ['course/', '../course/'];

// { title, base, databases: [{ name, file, url }], exercises: [{ name,
// file, url }], error? } or null when the site has no course folder.
export async function findCourse() {
  for (const base of PLACES) {
    let response;
    try {
      response = await fetch(base + 'index.json', { cache: 'no-cache' });
    } catch (error) {
      return null;  // opened from a local folder, or offline: no course
    }
    if (response.status === 404) continue;
    const where = base + 'index.json';
    if (!response.ok) return broken(where, `the site answered ${response.status} ${response.statusText}`.trim());
    let index;
    try {
      index = JSON.parse(await response.text());
    } catch (error) {
      return broken(where, 'it is not valid JSON (' + error.message + ')');
    }
    return readIndex(index, base, where);
  }
  return null;
}

function broken(where, why) {
  return { title: '', base: '', databases: [], exercises: [],
           error: `The course index ${where} cannot be read: ${why}. The course's files are not listed; ` +
                  'the examples still are. See the teacher\'s guide (docs/course.md) for its format.' };
}

const fileName = (entry) => (typeof entry === 'string' ? entry : entry && entry.file);
const safe = (name) => typeof name === 'string' && /^[^/\\][^\\]*$/.test(name) && !name.split('/').includes('..');

export function readIndex(index, base, where) {
  if (!index || typeof index !== 'object' || Array.isArray(index))
    return broken(where, 'it must be one JSON object with "databases" and "exercises"');
  for (const key of ['databases', 'exercises']) {
    if (index[key] !== undefined && !Array.isArray(index[key]))
      return broken(where, `"${key}" must be a list of file names`);
    const bad = (index[key] || []).find((entry) => !safe(fileName(entry)));
    if (bad !== undefined) return broken(where, `"${key}" lists ${JSON.stringify(bad)}, which is not a file name inside the course folder`);
  }
  const entries = (list) => (list || []).map((entry) => {
    const file = fileName(entry);
    const title = typeof entry === 'object' && typeof entry.title === 'string' ? entry.title : '';
    const queries = typeof entry === 'object' && Array.isArray(entry.queries) ? entry.queries.filter((q) => typeof q === 'string') : [];
    return { file, name: title || file.replace(/^.*\//, '').replace(/\.[^.]*$/, ''), url: base + file, queries };
  });
  return { title: typeof index.title === 'string' ? index.title : '', base, databases: entries(index.databases),
           exercises: entries(index.exercises) };
}

// The text of a course file, or { error } naming the file the site lacks.
export async function fetchText(url, name) {
  try {
    const response = await fetch(url, { cache: 'no-cache' });
    if (!response.ok) {
      return { error: `The course lists ${name}, but the site has no file ${url} (it answered ${response.status}). ` +
                      'Tell your teacher; the other files still open.' };
    }
    return { text: await response.text() };
  } catch (error) {
    return { error: `The course file ${url} could not be read (${error.message}).` };
  }
}
