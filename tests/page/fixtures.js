'use strict';
// The generated files in the exact form Auralith writes them (CR LF, the
// 22-column key padding, the data file's alignment and escapes), so the page
// is tested against what it will really be given.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const PAGE = path.resolve(__dirname, '../../resources/Auralith.htm');

// [key, default, quoted] in the file's order; null is an empty line.
const CONFIG = [null, ['text_face', 'Georgia', true], ['text_size', '18', true], null,
  ['color_background', '#000000', true], ['color_fadedbackground', '#111111', true], null,
  ['color_text', '#009000', true], ['color_texthover', '#00B000', true], null,
  ['back_type', 0], ['back_image', '', true], ['back_position', 0], null];
const BEHAVIOUR = [null, ['list_side', -1], ['list_offset', '0'], null,
  ['left_mapping', 1], ['right_mapping', 3], ['top_mapping', 2], null, ['launch_single', 1]];

function settingsText(title, statements, values) {
  const lines = ['// Auralith ' + title + ' File'];
  for (const statement of statements) {
    if (!statement) { lines.push(''); continue; }
    const [key, fallback, quoted] = statement;
    const value = String(key in values ? values[key] : fallback);
    lines.push(key.padEnd(22) + '= ' + (quoted ? `"${value}"` : value) + ';');
  }
  return lines.map((line) => line + '\r\n').join('');
}

const PLACEHOLDER_DATA =
  '// Auralith Data File\r\n\r\nbase = "";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n';

const align = (n) => (n < 10 ? '  ' : n < 100 ? ' ' : '');
const escapeName = (text) => text.replace(/"/g, '\\"').replace(/[\n\r\f\x07]/g, '');

// artists: [{ name, key, albums: [{ name, key, playlist?, tracks }] }] with
// names as the library holds them; the escapes are applied here.
function dataText(location, artists) {
  const lines = ['var base = "' + (location + 'playlists\\').replace(/\\/g, '/') + '";', ''];
  artists.forEach((artist, i) => {
    lines.push('', '', `artist_list[${i}]          ${align(i)}= new Array("${escapeName(artist.name || 'Unknown')}","${artist.key}.m3u");`,
      `album_list[${i}]           ${align(i)}= new Array();`, `track_list[${i}]           ${align(i)}= new Array();`);
    artist.albums.forEach((album, j) => {
      const file = album.playlist !== undefined ? album.playlist : `${artist.key}_${album.key}.m3u`;
      lines.push('', `album_list[${i}][${j}]      ${align(i)}${align(j)}= new Array("${escapeName(album.name) || 'Unknown'}","${file}");`,
        `track_list[${i}][${j}]      ${align(i)}${align(j)}= new Array();`);
      album.tracks.forEach((track, k) => {
        const text = track.replace(/\\/g, '\\\\').replace(/'/g, "\\'").replace(/"/g, '\\"');
        lines.push(`track_list[${i}][${j}][${k}] ${align(i)}${align(j)}${align(k)}= "${text}";`);
      });
    });
  });
  return lines.map((line) => line + '\r\n').join('');
}

// A folder holding the page and its files, as the program's folder would.
// null leaves a file out; `config` may be a function of the folder.
function makeDesktop({ config = {}, behaviour = {}, data = PLACEHOLDER_DATA, extra = {} } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'auralith-page-'));
  const write = (name, text) => fs.writeFileSync(path.join(dir, name), text);
  fs.copyFileSync(PAGE, path.join(dir, 'Auralith.htm'));
  if (typeof config === 'function') config = config(dir);
  if (config !== null) write('Auralith.config', settingsText('Configuration', CONFIG, config));
  if (behaviour !== null) write('Auralith.behaviour', settingsText('Behaviour', BEHAVIOUR, behaviour));
  if (data !== null) write('Auralith.data', data);
  for (const [name, bytes] of Object.entries(extra)) write(name, bytes);
  return dir;
}

function tracks(...titles) {
  return titles.map((title, n) => String(n + 1).padStart(2, '0') + '. ' + title);
}
const artist = (name, key, ...albums) => ({ name, key, albums });
const album = (name, key, ...titles) => ({ name, key, tracks: tracks(...titles) });

// A library to look at: a few real-looking artists, one with a single album.
const SAMPLE_LIBRARY = [
  artist('Arvo Lind', 'arvolind', album('Tabula', 'tabula', 'Spiegel', 'Fratres'), album('Alina', 'alina', 'Für Alina')),
  artist('The Bellwethers', 'bellwethers', album('Abbey Lane', 'abbeylane', 'Come Together', 'Something', 'Oh! Darling'),
    album('Let It Go', 'letitgo', 'Two of Us'), album('Revolver Road', 'revolverroad', 'Taxman', 'Eleanor')),
  artist('Cora Vell', 'coravell', album('Night Ferry', 'nightferry', 'Harbour Lights', 'Undertow')),
  artist('Dunmore Quartet', 'dunmorequartet', album('Strings in D', 'stringsind', 'Allegro', 'Adagio'),
    album('Late Quartets', 'latequartets', 'Grosse Fuge')),
  artist('Élodie Marchand', 'lodiemarchand', album('Chansons d\'hiver', 'chansonsdhiver', 'Neige', 'La rue')),
  artist('Kōji Tanabe', 'kjitanabe', album('夜の音', '_', '静けさ', '雨')),
  artist('Pale Orchard', 'paleorchard', album('Windfall', 'windfall', 'Cider House'), album('Bloom', 'bloom', 'Pollen')),
  artist('Unknown', '_', album('Unknown', '_', 'Track 1')),
];

module.exports = { PLACEHOLDER_DATA, SAMPLE_LIBRARY, dataText, makeDesktop, tracks };
