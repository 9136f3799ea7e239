'use strict';
// The three generated files in the exact form Auralith writes them (CR LF,
// the 22-column key padding, the data file's alignment and escapes), so the
// page is tested against what it will really be given.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const PAGE = path.resolve(__dirname, '../../resources/Auralith.htm');

function statement(key, value) {
  return key.padEnd(22, ' ') + '= ' + value + ';';
}

function quoted(text) {
  return '"' + text + '"';
}

const DEFAULT_CONFIG = {
  text_face: 'Georgia',
  text_size: '18',
  color_background: '#000000',
  color_fadedbackground: '#111111',
  color_text: '#009000',
  color_texthover: '#00B000',
  back_type: 0,
  back_image: '',
  back_position: 0,
};

const DEFAULT_BEHAVIOUR = {
  list_side: -1,
  list_offset: '0',
  left_mapping: 1,
  right_mapping: 3,
  top_mapping: 2,
  launch_single: 1,
};

function configText(overrides) {
  const c = { ...DEFAULT_CONFIG, ...overrides };
  return [
    '// Auralith Configuration File', '',
    statement('text_face', quoted(c.text_face)),
    statement('text_size', quoted(c.text_size)), '',
    statement('color_background', quoted(c.color_background)),
    statement('color_fadedbackground', quoted(c.color_fadedbackground)), '',
    statement('color_text', quoted(c.color_text)),
    statement('color_texthover', quoted(c.color_texthover)), '',
    statement('back_type', String(c.back_type)),
    statement('back_image', quoted(c.back_image)),
    statement('back_position', String(c.back_position)), '',
  ].map((line) => line + '\r\n').join('');
}

function behaviourText(overrides) {
  const b = { ...DEFAULT_BEHAVIOUR, ...overrides };
  return [
    '// Auralith Behaviour File', '',
    statement('list_side', String(b.list_side)),
    statement('list_offset', String(b.list_offset)), '',
    statement('left_mapping', String(b.left_mapping)),
    statement('right_mapping', String(b.right_mapping)),
    statement('top_mapping', String(b.top_mapping)), '',
    statement('launch_single', String(b.launch_single)),
  ].map((line) => line + '\r\n').join('');
}

const PLACEHOLDER_DATA =
  '// Auralith Data File\r\n\r\nbase = "";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n';

function align(n) {
  return n < 10 ? '  ' : n < 100 ? ' ' : '';
}

function stripBreaks(text) {
  return text.replace(/[\n\r\f\x07]/g, '');
}

// artists: [{ name, key, albums: [{ name, key, tracks: [entry text, ...] }] }]
// with names as the library holds them; the escapes are applied here.
function dataText(location, artists) {
  const baseDir = (location + 'playlists\\').replace(/\\/g, '/');
  const lines = ['var base = "' + baseDir + '";', ''];
  artists.forEach((artist, i) => {
    const artistText = stripBreaks((artist.name || 'Unknown').replace(/"/g, '\\"'));
    lines.push('', '');
    lines.push(`artist_list[${i}]` + ' '.repeat(10) + align(i) +
      `= new Array("${artistText}","${artist.key}.m3u");`);
    lines.push(`album_list[${i}]` + ' '.repeat(11) + align(i) + '= new Array();');
    lines.push(`track_list[${i}]` + ' '.repeat(11) + align(i) + '= new Array();');
    artist.albums.forEach((album, j) => {
      const albumText = stripBreaks(album.name.replace(/"/g, '\\"')) || 'Unknown';
      const file = album.playlist !== undefined ? album.playlist : `${artist.key}_${album.key}.m3u`;
      lines.push('');
      lines.push(`album_list[${i}][${j}]` + ' '.repeat(6) + align(i) + align(j) +
        `= new Array("${albumText}","${file}");`);
      lines.push(`track_list[${i}][${j}]` + ' '.repeat(6) + align(i) + align(j) + '= new Array();');
      album.tracks.forEach((track, k) => {
        const text = track.replace(/\\/g, '\\\\').replace(/'/g, "\\'").replace(/"/g, '\\"');
        lines.push(`track_list[${i}][${j}][${k}] ` + align(i) + align(j) + align(k) + `= "${text}";`);
      });
    });
  });
  return lines.map((line) => line + '\r\n').join('');
}

// A folder that holds the page and its three files, as the program's
// directory would. `data` is the data file's text, or null for none at all.
function makeDesktop({ config = {}, behaviour = {}, data = PLACEHOLDER_DATA, extra = {} } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'auralith-page-'));
  fs.copyFileSync(PAGE, path.join(dir, 'Auralith.htm'));
  if (config !== null) fs.writeFileSync(path.join(dir, 'Auralith.config'), configText(config));
  if (behaviour !== null) fs.writeFileSync(path.join(dir, 'Auralith.behaviour'), behaviourText(behaviour));
  if (data !== null) fs.writeFileSync(path.join(dir, 'Auralith.data'), data);
  for (const [name, bytes] of Object.entries(extra)) fs.writeFileSync(path.join(dir, name), bytes);
  return dir;
}

function tracks(...titles) {
  return titles.map((title, n) => String(n + 1).padStart(2, '0') + '. ' + title);
}

// A library to look at: a few real-looking artists, one with a single album.
const SAMPLE_LIBRARY = [
  { name: 'Arvo Lind', key: 'arvolind', albums: [
    { name: 'Tabula', key: 'tabula', tracks: tracks('Spiegel', 'Fratres', 'Cantus') },
    { name: 'Alina', key: 'alina', tracks: tracks('Für Alina', 'Spiegel im Spiegel') },
  ] },
  { name: 'The Bellwethers', key: 'bellwethers', albums: [
    { name: 'Abbey Lane', key: 'abbeylane', tracks: tracks('Come Together', 'Something', 'Octopus', 'Oh! Darling', 'Here Comes the Sun', 'Because', 'Sun King', 'Mean Mr. Mustard', 'Polythene Pam', 'Golden Slumbers', 'Carry That Weight', 'The End') },
    { name: 'Let It Go', key: 'letitgo', tracks: tracks('Two of Us', 'Dig a Pony', 'Across the Sky') },
    { name: 'Revolver Road', key: 'revolverroad', tracks: tracks('Taxman', 'Eleanor', 'Tomorrow') },
  ] },
  { name: 'Cora Vell', key: 'coravell', albums: [
    { name: 'Night Ferry', key: 'nightferry', tracks: tracks('Harbour Lights', 'Undertow', 'Slow Water', 'Ferryman') },
  ] },
  { name: 'Dunmore Quartet', key: 'dunmorequartet', albums: [
    { name: 'Strings in D', key: 'stringsind', tracks: tracks('Allegro', 'Adagio', 'Scherzo', 'Finale') },
    { name: 'Late Quartets', key: 'latequartets', tracks: tracks('Grosse Fuge', 'Cavatina') },
  ] },
  { name: 'Élodie Marchand', key: 'lodiemarchand', albums: [
    { name: 'Chansons d\'hiver', key: 'chansonsdhiver', tracks: tracks('Neige', 'La rue', 'Minuit') },
  ] },
  { name: 'Kōji Tanabe', key: 'kjitanabe', albums: [
    { name: '夜の音', key: '_', tracks: tracks('静けさ', '雨') },
  ] },
  { name: 'Pale Orchard', key: 'paleorchard', albums: [
    { name: 'Windfall', key: 'windfall', tracks: tracks('Windfall', 'Cider House', 'First Frost') },
    { name: 'Bloom', key: 'bloom', tracks: tracks('Bloom', 'Pollen') },
  ] },
  { name: 'Unknown', key: '_', albums: [
    { name: 'Unknown', key: '_', tracks: tracks('Track 1', 'Track 2') },
  ] },
];

module.exports = {
  PAGE, PLACEHOLDER_DATA, SAMPLE_LIBRARY,
  configText, behaviourText, dataText, makeDesktop, tracks,
};
