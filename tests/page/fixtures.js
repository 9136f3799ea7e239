'use strict';
// The generated files as the page reads them: scripts of assignments, with
// the data file's escapes (the files' exact layout is the writers' tests').

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const PAGE = path.resolve(__dirname, '../../resources/Auralith.htm');

const CONFIG = {
  text_face: 'Georgia', text_size: '18', color_background: '#000000', color_fadedbackground: '#111111',
  color_text: '#009000', color_texthover: '#00B000', back_type: 0, back_image: '', back_position: 0,
};
const BEHAVIOUR = { list_side: -1, list_offset: 0, left_mapping: 1, right_mapping: 3, top_mapping: 2, launch_single: 1 };

// Values go in as the program writes them: texts quoted, numbers and the list
// offset (the text the user typed) bare, nothing escaped.
const settingsText = (values) => Object.entries(values).map(([key, value]) =>
  key.padEnd(22) + '= ' + (typeof value === 'string' && key !== 'list_offset' ? `"${value}"` : value) + ';\r\n').join('');

const PLACEHOLDER_DATA =
  '// Auralith Data File\r\n\r\nbase = "";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n';

const escapeName = (text) => text.replace(/"/g, '\\"').replace(/[\n\r\f\x07]/g, '');

// artists: [{ name, key, albums: [{ name, key, playlist?, tracks }] }] with
// names as the library holds them; the builder's escapes are applied here.
function dataText(location, artists) {
  const lines = ['var base = "' + (location + 'playlists\\').replace(/\\/g, '/') + '";'];
  artists.forEach((artist, i) => {
    lines.push(`artist_list[${i}] = new Array("${escapeName(artist.name || 'Unknown')}","${artist.key}.m3u");`,
      `album_list[${i}] = new Array();`, `track_list[${i}] = new Array();`);
    artist.albums.forEach((album, j) => {
      const file = album.playlist !== undefined ? album.playlist : `${artist.key}_${album.key}.m3u`;
      lines.push(`album_list[${i}][${j}] = new Array("${escapeName(album.name) || 'Unknown'}","${file}");`,
        `track_list[${i}][${j}] = new Array();`);
      album.tracks.forEach((track, k) => {
        const text = track.replace(/\\/g, '\\\\').replace(/'/g, "\\'").replace(/"/g, '\\"');
        lines.push(`track_list[${i}][${j}][${k}] = "${text}";`);
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
  if (config !== null) write('Auralith.config', settingsText({ ...CONFIG, ...config }));
  if (behaviour !== null) write('Auralith.behaviour', settingsText({ ...BEHAVIOUR, ...behaviour }));
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
