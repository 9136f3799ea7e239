'use strict';
// Browser tests of the desktop page: the page is opened over file:// from a
// folder holding it and the generated files, as the desktop shows it. The files
// are scripts of assignments, written as the program writes them (their exact
// layout is the writers' tests').

const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const vm = require('node:vm');
const { after, afterEach, before, test } = require('node:test');
const { chromium } = require('playwright-core');

const PAGE = path.resolve(__dirname, '../../resources/Auralith.htm');
const SHOTS = path.resolve(__dirname, '../..', process.env.AURALITH_SCREENSHOT_DIR || 'build/page-screenshots');
const VIEW = { width: 1280, height: 800 };
const CONFIG = {
  text_face: 'Georgia', text_size: '18', color_background: '#000000', color_fadedbackground: '#111111',
  color_text: '#009000', color_texthover: '#00B000', back_type: 0, back_image: '', back_position: 0,
};
const BEHAVIOUR = { list_side: -1, list_offset: 0, left_mapping: 1, right_mapping: 3, top_mapping: 2, launch_single: 0 };
const PLACEHOLDER_DATA =
  '// Auralith Data File\r\n\r\nbase = "";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n';
const root = fs.mkdtempSync(path.join(os.tmpdir(), 'auralith-page-'));
fs.mkdirSync(SHOTS, { recursive: true });
let browser;

before(async () => {
  browser = await chromium.launch({ executablePath: process.env.AURALITH_CHROMIUM || '/usr/bin/chromium', args: ['--disable-gpu'] });
});
afterEach(() => Promise.all(browser.contexts().map((context) => context.close())));
after(async () => {
  await browser?.close();
  fs.rmSync(root, { recursive: true, force: true });
});

// Values go in as the program writes them: texts quoted, numbers and the list
// offset (the text the user typed) bare, nothing escaped.
const settingsText = (values) => Object.entries(values).map(([key, value]) =>
  key.padEnd(22) + '= ' + (typeof value === 'string' && key !== 'list_offset' ? `"${value}"` : value) + ';\r\n').join('');
const escapeName = (text) => text.replace(/"/g, '\\"').replace(/[\n\r\f\x07]/g, '');

// artists: [{ name, key, albums: [{ name, key, playlist?, tracks }] }] with
// names as the library holds them; the builder's escapes are applied here.
function dataFile(artists) {
  const lines = ['var base = "C:/Apps/Auralith/playlists/";'];
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

const tracks = (...titles) => titles.map((title, n) => String(n + 1).padStart(2, '0') + '. ' + title);
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

// Opens the page from a folder holding its files, as the program's folder
// would; closed when the test ends. null leaves a file out; `config` may be a
// function of the folder. The hidden frame the page points at a play URL is
// caught, not followed: after an unknown protocol Chromium drops input for a
// while. An Auralith: URL reaching the network is recorded as escaped.
async function open({ config = {}, behaviour = {}, data = dataFile(SAMPLE_LIBRARY), extra = {} } = {}) {
  const dir = fs.mkdtempSync(path.join(root, 'desktop-'));
  const write = (name, text) => fs.writeFileSync(path.join(dir, name), text);
  fs.copyFileSync(PAGE, path.join(dir, 'Auralith.htm'));
  if (typeof config === 'function') config = config(dir);
  if (config !== null) write('Auralith.config', settingsText({ ...CONFIG, ...config }));
  if (behaviour !== null) write('Auralith.behaviour', settingsText({ ...BEHAVIOUR, ...behaviour }));
  if (data !== null) write('Auralith.data', data);
  for (const [name, bytes] of Object.entries(extra)) write(name, bytes);
  const context = await browser.newContext({ viewport: VIEW, reducedMotion: 'reduce' });
  await context.addInitScript(() => {
    window.__launched = [];
    const src = Object.getOwnPropertyDescriptor(HTMLIFrameElement.prototype, 'src');
    Object.defineProperty(HTMLIFrameElement.prototype, 'src', { configurable: true, get: src.get, set(value) {
      if (/^auralith:/i.test(value)) window.__launched.push(String(value));
      else src.set.call(this, value);
    } });
  });
  const page = await context.newPage();
  const escaped = [];
  page.on('request', (request) => { if (/^auralith:/i.test(request.url())) escaped.push(request.url()); });
  await page.goto('file://' + path.join(dir, 'Auralith.htm'));
  const played = async () => {
    assert.deepEqual(escaped, [], 'a play URL went past the frame');
    return page.evaluate(() => window.__launched);
  };
  return { page, played };
}

const shot = (page, name) => page.screenshot({ path: path.join(SHOTS, name + '.png') });
const texts = (page, selector) => page.$$eval(selector, (els) => els.map((e) => e.textContent));
const openColumns = (page) => page.$$eval('#artists, #albums, #tracks',
  (els) => els.filter((e) => / open( |$)/.test(' ' + e.className)).map((e) => e.id));
const box = (page, selector) => page.$eval(selector, (e) => {
  const r = e.getBoundingClientRect();
  return { x: r.left, y: r.top, width: r.width, height: r.height, right: r.right, centre: r.left + r.width / 2 };
});
const style = (page, selector, prop) => page.$eval(selector, (e, p) => getComputedStyle(e)[p], prop);
const click = (page, list, n) => page.click(`#${list}-list .item >> nth=${n}`);
// Gives the page's handlers time to run after input.
const settle = (page) => page.evaluate(() => new Promise((r) => setTimeout(r, 30)));
function assertNear(actual, expected, what) {
  for (const k of Object.keys(expected)) assert.ok(Math.abs(actual[k] - expected[k]) < 2, `${what} ${k}: ${actual[k]} vs ${expected[k]}`);
}

// A step: 'artist 3' or 'album 0' clicks that entry, '#id' that element, 'move x y'
// moves the pointer there from mid-screen; anything else is keys pressed in turn.
async function act(page, step) {
  const [verb, x, y] = step.split(' ');
  if (verb === 'artist' || verb === 'album') await click(page, verb, x);
  else if (verb.startsWith('#')) await page.click(verb);
  else if (verb === 'move') await page.mouse.move(640, 400).then(() => page.mouse.move(Number(x), Number(y)));
  else for (const key of step.split(' ')) await page.keyboard.press(key);
  await settle(page);
}

test('the library shows as text, never as markup, or a notice says why there is none', async () => {
  const hostileTracks = ['<b>bold</b> & "quoted"', 'back\\slash \\" and \'apostrophe\'', 'line\u2028separator', '</div><iframe src="about:blank">'];
  const hostile = [
    { name: '<script>window.__owned = 1</script>', key: 'script',
      albums: [{ name: '<img src=x onerror="window.__owned = 2">', key: 'img', tracks: hostileTracks }] },
    { name: 'Say "Hi" \u2028 twice', key: 'sayhi', albums: [] },
    { name: '', key: '_', albums: [] },
  ];
  const cases = [
    { data: dataFile(SAMPLE_LIBRARY), artists: SAMPLE_LIBRARY.map((a) => a.name), artist: 1,
      albums: ['Abbey Lane', 'Let It Go', 'Revolver Road'], tracks: SAMPLE_LIBRARY[1].albums[0].tracks, shot: 'album' },
    { data: dataFile(hostile), artists: [hostile[0].name, hostile[1].name, 'Unknown'], artist: 0, albums: [hostile[0].albums[0].name],
      tracks: hostileTracks },
    { data: PLACEHOLDER_DATA, notice: /Welcome[\s\S]*press \u201CGenerate playlists\u201D/, shot: 'placeholder' },
    { data: null, notice: /Welcome[\s\S]*press \u201CGenerate playlists\u201D/ },
    { data: dataFile([]), notice: /No music found[\s\S]*Generate playlists/ },
    // An artist name ending in a backslash takes in its closing quote.
    { data: dataFile([]) + 'artist_list[0] = new Array("AC\\","ac.m3u");\r\n', notice: /could not be read[\s\S]*Generate playlists/ },
  ];
  for (const c of cases) {
    const d = await open({ data: c.data });
    assert.equal(await d.page.isVisible('#notice'), Boolean(c.notice));
    if (c.notice) {
      assert.match(await d.page.textContent('#notice'), c.notice);
      assert.deepEqual(await openColumns(d.page), []);
    } else {
      assert.deepEqual(await texts(d.page, '#artist-list .item'), c.artists);
      assert.equal(await d.page.textContent('#artists-label'), c.artists.length + ' artists');
      await click(d.page, 'artist', c.artist);
      assert.deepEqual(await texts(d.page, '#album-list .item'), c.albums);
      await click(d.page, 'album', 0);
      assert.deepEqual(await texts(d.page, '#track-list .track'), c.tracks);
      assert.deepEqual(await texts(d.page, '#albums-title, #tracks-title'), [c.artists[c.artist], c.albums[0]]);
    }
    if (c.shot) await shot(d.page, c.shot);
  }
});

test('Auralith.config sets the font, size and colours, Auralith.behaviour the list\'s place', async () => {
  // look: the page's and a panel's background, an entry's colour and size.
  // place: where the artists column is; albums open towards the middle.
  const factory = ['rgb(0, 0, 0)', 'rgb(17, 17, 17)', 'rgb(0, 144, 0)', '24px'];
  const margin = VIEW.width * 0.03;
  const cases = [
    { config: { text_face: 'Courier New', text_size: '24', color_background: '#123456', color_fadedbackground: '#234567',
      color_text: '#345678', color_texthover: '#456789' }, look: ['rgb(18, 52, 86)', 'rgb(35, 69, 103)', 'rgb(52, 86, 120)', '32px'],
      behaviour: { list_side: -1, list_offset: 150 }, place: { x: margin + 150 } },
    { config: { color_background: 'transparent', color_fadedbackground: 'white', color_text: 'black' },
      look: ['rgba(0, 0, 0, 0)', 'rgb(255, 255, 255)', 'rgb(0, 0, 0)', '24px'],
      behaviour: { list_side: 0, list_offset: -200 }, place: { centre: VIEW.width / 2 - 200 } },
    // Values the page does not understand, and no files at all, leave its own defaults.
    { config: { color_background: 'no colour', color_text: 'red; background: url(x)', text_size: 'big' }, look: factory,
      behaviour: { list_side: 1, list_offset: -250 }, place: { right: VIEW.width - margin - 250 } },
    { config: null, look: factory, behaviour: null, place: { x: margin } },
    { look: factory, behaviour: { list_offset: 'nonsense' }, place: { x: margin } },
  ];
  const item = '#artist-list .item >> nth=2';
  for (const c of cases) {
    const d = await open({ config: c.config, behaviour: c.behaviour });
    const look = [['body', 'backgroundColor'], ['#albums', 'backgroundColor'], [item, 'color'], [item, 'fontSize']];
    assert.deepEqual(await Promise.all(look.map(([selector, prop]) => style(d.page, selector, prop))), c.look);
    if (c.config?.text_face) assert.match(await style(d.page, item, 'fontFamily'), new RegExp(`^"${c.config.text_face}"`));
    const artists = await box(d.page, '#artists');
    assertNear(artists, c.place, JSON.stringify(c.behaviour));
    await click(d.page, 'artist', 0);
    const albums = await box(d.page, '#albums');
    assert.ok(c.place.right ? albums.right <= artists.x : albums.x >= artists.right, 'albums beside the artists');
  }
});

const svg = (w, h) => `<svg xmlns="http://www.w3.org/2000/svg" width="${w}" height="${h}"><rect width="${w}" height="${h}" fill="#357"/></svg>`;

test('the background: an image stretched or centred, the album cover, or none', async () => {
  // An SVG of a known size stands in for the plug-in's copy of the cover.
  const coverScript = (value) => '// Auralith Cover File\r\n\r\n' + 'cover_image'.padEnd(22) + `= "${value}";\r\n`;
  const cover = (w, h) => ({ 'Auralith.cover.svg': svg(w, h), 'Auralith.cover': coverScript('Auralith.cover.svg?0123456789abcdef') });
  const image = { 'sky #1 100%.svg': svg(200, 100) };
  // boxes: where the picture shows on the screen, then on a narrower one.
  const cases = [
    { name: 'stretched', type: 1, position: 0, files: image, boxes: [{ x: 0, y: 0, width: 1280, height: 800 }] },
    { name: 'centred', type: 1, position: 1, files: image, boxes: [{ x: 540, y: 350, width: 200, height: 100 }] },
    { name: 'no background', type: 0, files: { ...image, ...cover(400, 200) }, boxes: [] },
    { name: 'wide cover', type: 2, files: cover(400, 200),
      boxes: [{ x: 0, y: 80, width: 1280, height: 640 }, { x: 0, y: 240, width: 640, height: 320 }] },
    { name: 'tall cover', type: 2, files: cover(100, 400), boxes: [{ x: 540, y: 0, width: 200, height: 800 }] },
    { name: 'player stopped', type: 2, files: { 'Auralith.cover': coverScript('') }, boxes: [] },
  ];
  for (const c of cases) {
    const d = await open({ extra: c.files,
      config: (dir) => ({ back_type: c.type, back_position: c.position, back_image: path.join(dir, 'sky #1 100%.svg') }) });
    for (const [i, expected] of c.boxes.entries()) {
      if (i > 0) await d.page.setViewportSize({ width: 640, height: 800 });
      await d.page.waitForFunction(() => {
        const img = document.querySelector('#backdrop img');
        return img && img.complete && img.naturalWidth > 0 && img.style.visibility !== 'hidden';
      }, null, { timeout: 5000 });
      assertNear(await box(d.page, '#backdrop img'), expected, c.name);
    }
    if (!c.boxes.length) assert.equal(await d.page.$('#backdrop img'), null, c.name);
    if (c.name === 'wide cover') await shot(d.page, 'cover');
    // The library shows over it as always.
    assert.equal((await texts(d.page, '#artist-list .item')).length, SAMPLE_LIBRARY.length, c.name);
  }
});

// Each step is an action, or an action, the columns open after it and the
// element then focused.
test('clicks, the pointer at the screen edges and the keyboard open the lists and play safe playlists', async () => {
  const unsafe = ['../../secret.m3u', 'a b.m3u', 'UPPER.m3u', 'C:/x.m3u', 'x.m3u/../../y', 'x.m3u?y', 'javascript:alert(1)//.m3u', 'x.M3U', ''];
  const unsafeLibrary = unsafe.map((playlist, i) => ({ name: 'Bad ' + i, key: 'bad' + i,
    albums: [{ name: 'Album', key: 'album', playlist, tracks: tracks('t') }] }));
  const url = (playlist) => 'Auralith:play/' + playlist;
  const focused = (page) => page.evaluate(() => document.activeElement.id || document.activeElement.textContent);
  const all = ['artists', 'albums', 'tracks'], two = all.slice(0, 2);
  const cases = [
    // An only album opens and plays at once when asked to.
    { behaviour: { launch_single: 1 }, steps: [['artist 2', all]], played: [url('coravell_nightferry.m3u')] },
    { steps: [['artist 2', two]] },
    { behaviour: { launch_single: 1 }, steps: [['artist 1', two]] },
    { steps: ['artist 1', 'album 2', '#play-album', '#play-artist', '#play-everything', 'artist 7', 'album 0', '#play-album'],
      played: [url('bellwethers_revolverroad.m3u'), url('bellwethers.m3u'), url('.m3u'), url('___.m3u')], toast: /^Playing / },
    { behaviour: { launch_single: 1 }, library: unsafeLibrary, toast: /^This entry cannot be played$/,
      steps: unsafe.flatMap((_, i) => [`artist ${i}`, '#play-album']) },
    { behaviour: { left_mapping: 3, top_mapping: 1, right_mapping: 2 }, steps: [
      ['move 0 400', []], ['move 640 0', ['artists']], ['move 1279 400', ['artists']], // no artist yet
      ['artist 3', two], ['move 0 300', []], ['move 1279 400', two]] },
    // Nothing (0) and no selection (-1) do nothing.
    { behaviour: { left_mapping: 0, top_mapping: -1 }, steps: [['move 0 400', ['artists']], ['move 640 0', ['artists']]] },
    { played: [url('bellwethers_letitgo.m3u')], steps: [
      ['Tab', ['artists'], 'Arvo Lind'],
      ['Home ArrowDown ArrowDown ArrowUp', ['artists'], 'The Bellwethers'],
      ['Enter', two, 'Abbey Lane'], ['End', two, 'Revolver Road'],
      ['ArrowLeft', ['artists'], 'The Bellwethers'], ['ArrowRight ArrowDown Enter', all, 'play-album'],
      ['Enter', all], ['Escape', []], ['Enter', ['artists'], 'The Bellwethers']] },
  ];
  for (const c of cases) {
    const d = await open({ behaviour: c.behaviour, data: dataFile(c.library || SAMPLE_LIBRARY) });
    for (const [step, columns, focus] of c.steps.map((s) => [].concat(s))) {
      await act(d.page, step);
      if (columns) assert.deepEqual(await openColumns(d.page), columns, step);
      if (focus) assert.equal(await focused(d.page), focus, step);
    }
    assert.deepEqual(await d.played(), c.played || [], JSON.stringify(c.steps));
    if (c.toast) assert.match(await d.page.textContent('#toast'), c.toast);
  }
});

if (process.env.AURALITH_PAGE_LIBRARY) {
  test('a library written by the builder renders every artist and its tracks', async () => {
    const library = fs.readFileSync(path.join(process.env.AURALITH_PAGE_LIBRARY, 'Auralith.data'), 'utf8');
    const evaluate = (expression) => Array.from(vm.runInNewContext(library + ';' + expression,
      { artist_list: [], album_list: [], track_list: [] }));
    const d = await open({ data: library });
    const artists = evaluate('artist_list.map(function (a) { return a[0]; })');
    assert.ok(artists.length > 0, 'the library holds artists');
    assert.deepEqual(await texts(d.page, '#artist-list .item'), artists);
    await click(d.page, 'artist', 0);
    await click(d.page, 'album', 0);
    assert.deepEqual(await texts(d.page, '#track-list .track'), evaluate('track_list[0][0]'));
    await shot(d.page, 'library');
  });
}
