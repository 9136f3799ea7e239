'use strict';
// Browser tests of the desktop page: the page is opened over file:// from a
// folder holding it and the three generated files, as the desktop shows it.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const { chromium } = require('playwright-core');
const { PLACEHOLDER_DATA, SAMPLE_LIBRARY, dataText, makeDesktop, tracks } = require('./fixtures');

const REPO = path.resolve(__dirname, '../..');
const SHOTS = path.resolve(REPO, process.env.AURALITH_SCREENSHOT_DIR || 'build/page-screenshots');
const VIEW = { width: 1280, height: 800 };
const LOCATION = 'C:\\Apps\\Auralith\\';

const tests = [];
function test(name, fn) { tests.push({ name, fn }); }

let browser;
const made = [];

// Opens a desktop. The page hands a play URL to the shell by pointing a hidden
// frame at it; that assignment is caught here and not carried out, because
// Chromium, once it has tried to launch an unknown protocol, drops input
// events for a while and the next clicks would go missing. Any Auralith: URL
// that reaches the network layer some other way is recorded as escaped.
async function open(desktop, { viewport = VIEW } = {}) {
  const dir = makeDesktop(desktop);
  made.push(dir);
  const context = await browser.newContext({ viewport, reducedMotion: 'reduce' });
  await context.addInitScript(() => {
    window.__launched = [];
    const proto = HTMLIFrameElement.prototype;
    const src = Object.getOwnPropertyDescriptor(proto, 'src');
    const setAttribute = Element.prototype.setAttribute;
    const caught = (value) => /^auralith:/i.test(String(value)) && (window.__launched.push(String(value)), true);
    Object.defineProperty(proto, 'src', {
      configurable: true, enumerable: true, get: src.get,
      set(value) { if (!caught(value)) src.set.call(this, value); },
    });
    Element.prototype.setAttribute = function (name, value) {
      if (this instanceof HTMLIFrameElement && String(name).toLowerCase() === 'src' && caught(value)) return;
      setAttribute.call(this, name, value);
    };
  });
  const page = await context.newPage();
  const escaped = [];
  const dialogs = [];
  page.on('request', (request) => {
    if (/^auralith:/i.test(request.url())) escaped.push(request.url());
  });
  if (process.env.AURALITH_PAGE_DEBUG) page.on('console', (m) => console.error('    console: ' + m.text()));
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss().catch(() => {}); });
  await page.goto('file://' + path.join(dir, 'Auralith.htm'));
  return {
    page, dir, dialogs,
    played: async () => {
      assert.deepEqual(escaped, [], 'a play URL went past the frame');
      return page.evaluate(() => window.__launched.slice());
    },
    close: () => context.close(),
  };
}

function data(artists) { return dataText(LOCATION, artists); }

async function shot(page, name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: path.join(SHOTS, name + '.png') });
}

const texts = (page, selector) => page.$$eval(selector, (els) => els.map((e) => e.textContent));
const isOpen = (page, id) => page.$eval('#' + id, (e) => / open( |$)/.test(' ' + e.className));
async function openColumns(page) {
  const result = [];
  for (const id of ['artists', 'albums', 'tracks']) if (await isOpen(page, id)) result.push(id);
  return result;
}
const box = (page, selector) => page.$eval(selector, (e) => {
  const r = e.getBoundingClientRect();
  return { x: r.left, y: r.top, width: r.width, height: r.height, right: r.right };
});
const style = (page, selector, prop) =>
  page.$eval(selector, (e, p) => getComputedStyle(e)[p], prop);
// Gives the page's handlers time to run after input.
const settle = (page) => page.evaluate(() => new Promise((r) => setTimeout(r, 30)));

// ------------------------------------------------------------ the library

test('artists are listed in library order with their texts', async () => {
  const d = await open({ data: data(SAMPLE_LIBRARY) });
  assert.deepEqual(await texts(d.page, '#artist-list .item'), SAMPLE_LIBRARY.map((a) => a.name));
  assert.equal(await d.page.textContent('#artists-label'), SAMPLE_LIBRARY.length + ' artists');
  assert.deepEqual(await openColumns(d.page), ['artists']);
  assert.equal(await d.page.isVisible('#notice'), false);
  await shot(d.page, 'artists');

  await d.page.click('#artist-list .item >> nth=1');
  assert.deepEqual(await texts(d.page, '#album-list .item'), ['Abbey Lane', 'Let It Go', 'Revolver Road']);
  assert.equal(await d.page.textContent('#albums-title'), 'The Bellwethers');
  await d.page.click('#album-list .item >> nth=0');
  assert.deepEqual(await texts(d.page, '#track-list .track'), SAMPLE_LIBRARY[1].albums[0].tracks);
  assert.equal(await d.page.textContent('#tracks-title'), 'Abbey Lane');
  assert.deepEqual(await openColumns(d.page), ['artists', 'albums', 'tracks']);
  assert.deepEqual(await d.played(), []);
  await shot(d.page, 'album');
  await d.close();
});

// ------------------------------------------------------------ appearance

test('font, size and colours come from Auralith.config', async () => {
  const d = await open({
    config: {
      text_face: 'Courier New', text_size: '24', color_background: '#123456',
      color_fadedbackground: '#234567', color_text: '#345678', color_texthover: '#456789',
    },
    data: data(SAMPLE_LIBRARY),
  });
  const item = '#artist-list .item >> nth=2';
  assert.equal(await style(d.page, 'body', 'backgroundColor'), 'rgb(18, 52, 86)');
  for (const id of ['#artists', '#albums', '#tracks'])
    assert.equal(await style(d.page, id, 'backgroundColor'), 'rgb(35, 69, 103)', id);
  assert.equal(await style(d.page, item, 'color'), 'rgb(52, 86, 120)');
  assert.equal(await style(d.page, item, 'fontSize'), '32px'); // 24 pt
  assert.match(await style(d.page, item, 'fontFamily'), /^"Courier New"/);
  await d.page.hover(item);
  assert.equal(await style(d.page, item, 'color'), 'rgb(69, 103, 137)');
  await d.page.mouse.move(640, 790);
  assert.equal(await style(d.page, item, 'color'), 'rgb(52, 86, 120)');
  // The chosen artist keeps the hover colour as its mark.
  await d.page.click('#artist-list .item >> nth=0');
  await d.page.mouse.move(640, 790);
  assert.equal(await style(d.page, '#artist-list .item >> nth=0', 'color'), 'rgb(69, 103, 137)');
  await d.close();
});

test('colour names, transparency and broken values', async () => {
  const cases = [
    { config: { color_background: 'transparent', color_fadedbackground: 'transparent' },
      body: 'rgba(0, 0, 0, 0)', panel: 'rgba(0, 0, 0, 0)', text: 'rgb(0, 144, 0)' },
    { config: { color_background: 'white', color_fadedbackground: '#eeeeee', color_text: 'black' },
      body: 'rgb(255, 255, 255)', panel: 'rgb(238, 238, 238)', text: 'rgb(0, 0, 0)', shot: 'light' },
    // Values the page does not understand leave its own defaults.
    { config: { color_background: 'no colour', color_text: 'red; background: url(x)', text_size: 'big' },
      body: 'rgb(0, 0, 0)', panel: 'rgb(17, 17, 17)', text: 'rgb(0, 144, 0)', size: '24px' },
  ];
  for (const c of cases) {
    const d = await open({ config: c.config, data: data(SAMPLE_LIBRARY) });
    assert.equal(await style(d.page, 'body', 'backgroundColor'), c.body, JSON.stringify(c.config));
    assert.equal(await style(d.page, '#artists', 'backgroundColor'), c.panel, JSON.stringify(c.config));
    assert.equal(await style(d.page, '#artist-list .item', 'color'), c.text, JSON.stringify(c.config));
    if (c.size) assert.equal(await style(d.page, '#artist-list .item', 'fontSize'), c.size);
    if (c.shot) {
      await d.page.click('#artist-list .item >> nth=3');
      await d.page.click('#album-list .item >> nth=0');
      await shot(d.page, c.shot);
    }
    await d.close();
  }
});

test('list side and offset place the artists', async () => {
  const margin = VIEW.width * 0.03;
  const cases = [
    { side: -1, offset: '0', check: (b) => Math.abs(b.x - margin) < 2 },
    { side: -1, offset: '150', check: (b) => Math.abs(b.x - margin - 150) < 2 },
    { side: 0, offset: '0', check: (b) => Math.abs(b.x + b.width / 2 - VIEW.width / 2) < 2 },
    { side: 0, offset: '-200', check: (b) => Math.abs(b.x + b.width / 2 - VIEW.width / 2 + 200) < 2 },
    { side: 1, offset: '0', check: (b) => Math.abs(b.right - (VIEW.width - margin)) < 2 },
    { side: 1, offset: '-250', check: (b) => Math.abs(b.right - (VIEW.width - margin) + 250) < 2 },
    { side: -1, offset: 'nonsense', check: (b) => Math.abs(b.x - margin) < 2 },
  ];
  for (const c of cases) {
    const d = await open({ behaviour: { list_side: c.side, list_offset: c.offset, launch_single: 0 }, data: data(SAMPLE_LIBRARY) });
    const artists = await box(d.page, '#artists');
    assert.ok(c.check(artists), `side ${c.side} offset ${c.offset}: ${JSON.stringify(artists)}`);
    // Albums open towards the middle of the screen.
    await d.page.click('#artist-list .item >> nth=0');
    const albums = await box(d.page, '#albums');
    if (c.side === 1) assert.ok(albums.right <= artists.x, 'albums left of a right-hand list');
    else assert.ok(albums.x >= artists.right, 'albums right of the list');
    if (c.side === 1 && c.offset === '0') {
      await d.page.click('#album-list .item >> nth=0');
      await shot(d.page, 'right-side');
    }
    await d.close();
  }
});

test('background image stretched, centred, or none', async () => {
  const svg = '<svg xmlns="http://www.w3.org/2000/svg" width="200" height="100"><rect width="200" height="100" fill="#357"/></svg>';
  const cases = [
    { type: 1, position: 0, expect: { x: 0, y: 0, width: VIEW.width, height: VIEW.height } },
    { type: 1, position: 1, expect: { x: (VIEW.width - 200) / 2, y: (VIEW.height - 100) / 2, width: 200, height: 100 } },
    { type: 0, position: 0, expect: null },
    // Album covers, while the player plug-in has published none.
    { type: 2, position: 0, expect: null },
  ];
  for (const c of cases) {
    const d = await open({ data: data(SAMPLE_LIBRARY) });
    const image = path.join(d.dir, 'sky #1 100%.svg');
    fs.writeFileSync(image, svg);
    fs.writeFileSync(path.join(d.dir, 'Auralith.config'), require('./fixtures').configText({
      back_type: c.type, back_position: c.position, back_image: image.replace(/\\/g, '/'),
    }));
    await d.page.reload();
    await d.page.waitForLoadState('load');
    const img = await d.page.$('#backdrop img');
    if (!c.expect) {
      assert.equal(img, null, `type ${c.type}`);
    } else {
      assert.ok(await img.evaluate((e) => e.complete && e.naturalWidth === 200), 'the image loads');
      const b = await box(d.page, '#backdrop img');
      for (const k of Object.keys(c.expect)) assert.ok(Math.abs(b[k] - c.expect[k]) < 1.5, `${k}: ${b[k]} vs ${c.expect[k]}`);
    }
    await d.close();
  }
});

function coverScript(value) {
  return '// Auralith Cover File\r\n\r\n' + 'cover_image'.padEnd(22, ' ') + '= "' + value + '";\r\n';
}

test('album covers fill the screen as far as they fit, centred', async () => {
  // The page shows whatever picture the script names; an SVG of a known size
  // stands in for the plug-in's copy.
  const cover = (w, h) => ({
    'Auralith.cover.svg': `<svg xmlns="http://www.w3.org/2000/svg" width="${w}" height="${h}"><rect width="${w}" height="${h}" fill="#999"/></svg>`,
    'Auralith.cover': coverScript('Auralith.cover.svg?0123456789abcdef'),
  });
  const cases = [
    { name: 'wide', type: 2, files: cover(400, 200), expect: { x: 0, y: 80, width: 1280, height: 640 },
      narrower: { x: 0, y: 240, width: 640, height: 320 } },
    { name: 'tall', type: 2, files: cover(100, 400), expect: { x: 540, y: 0, width: 200, height: 800 } },
    { name: 'stopped', type: 2, files: { 'Auralith.cover': coverScript('') } },
    { name: 'no Auralith.cover', type: 2, files: {} },
    { name: 'another background', type: 0, files: cover(400, 200) },
  ];
  for (const c of cases) {
    const d = await open({ config: { back_type: c.type, color_background: '#123456' }, data: data(SAMPLE_LIBRARY), extra: c.files });
    await d.page.waitForLoadState('load');
    const near = async (expect) => {
      await d.page.waitForFunction(() => {
        const img = document.querySelector('#backdrop img');
        return img && img.style.visibility === 'visible';
      }, null, { timeout: 5000 });
      const b = await box(d.page, '#backdrop img');
      for (const k of Object.keys(expect)) assert.ok(Math.abs(b[k] - expect[k]) < 1.5, `${c.name} ${k}: ${b[k]} vs ${expect[k]}`);
    };
    if (c.expect) {
      await near(c.expect);
      if (c.name === 'wide') await shot(d.page, 'cover');
      if (c.narrower) {
        await d.page.setViewportSize({ width: 640, height: 800 });
        await near(c.narrower);
      }
    } else {
      assert.equal(await d.page.$('#backdrop img'), null, c.name);
    }
    // Over the background colour, and the library as always.
    assert.equal(await style(d.page, 'body', 'backgroundColor'), 'rgb(18, 52, 86)', c.name);
    assert.equal((await texts(d.page, '#artist-list .item')).length, SAMPLE_LIBRARY.length, c.name);
    assert.equal(await d.page.isVisible('#notice'), false, c.name);
    await d.close();
  }
});

// ------------------------------------------------------------ behaviour

test('screen edges trigger their mappings', async () => {
  const d = await open({ behaviour: { left_mapping: 3, top_mapping: 1, right_mapping: 2, launch_single: 0 }, data: data(SAMPLE_LIBRARY) });
  const move = async (x, y) => { await d.page.mouse.move(x, y); await settle(d.page); };
  await move(640, 400);
  assert.deepEqual(await openColumns(d.page), ['artists']);
  await move(0, 400); // left: hide all
  assert.deepEqual(await openColumns(d.page), []);
  await move(640, 400);
  await move(640, 0); // top: show artists
  assert.deepEqual(await openColumns(d.page), ['artists']);
  await move(640, 400);
  await move(VIEW.width - 1, 400); // right: albums of the current artist, none yet
  assert.deepEqual(await openColumns(d.page), ['artists']);
  await d.page.click('#artist-list .item >> nth=3');
  await move(0, 300);
  assert.deepEqual(await openColumns(d.page), []);
  await move(640, 400);
  await move(VIEW.width - 1, 400);
  assert.deepEqual(await openColumns(d.page), ['artists', 'albums']);
  assert.equal(await d.page.textContent('#albums-title'), 'Dunmore Quartet');
  await d.close();

  // Nothing (0) and no selection (-1) do nothing.
  const n = await open({ behaviour: { left_mapping: 0, top_mapping: -1, right_mapping: 3 }, data: data(SAMPLE_LIBRARY) });
  for (const [x, y] of [[0, 400], [640, 0]]) {
    await n.page.mouse.move(x, y);
    await n.page.mouse.move(640, 400);
  }
  await settle(n.page);
  assert.deepEqual(await openColumns(n.page), ['artists']);
  await n.page.mouse.move(VIEW.width - 1, 300);
  await settle(n.page);
  assert.deepEqual(await openColumns(n.page), []);
  await n.close();
});

test('launch_single plays an only album at once', async () => {
  const cases = [
    { launch: 1, artist: 2, played: ['Auralith:play/coravell_nightferry.m3u'], columns: ['artists', 'albums', 'tracks'] },
    { launch: 0, artist: 2, played: [], columns: ['artists', 'albums'] },
    { launch: 1, artist: 1, played: [], columns: ['artists', 'albums'] },
  ];
  for (const c of cases) {
    const d = await open({ behaviour: { launch_single: c.launch }, data: data(SAMPLE_LIBRARY) });
    await d.page.click(`#artist-list .item >> nth=${c.artist}`);
    await settle(d.page);
    assert.deepEqual(await d.played(), c.played, `launch_single ${c.launch}, artist ${c.artist}`);
    assert.deepEqual(await openColumns(d.page), c.columns);
    await d.close();
  }
});

test('play buttons ask the handler for the right playlist', async () => {
  const d = await open({ behaviour: { launch_single: 0 }, data: data(SAMPLE_LIBRARY) });
  await d.page.click('#artist-list .item >> nth=1');
  await d.page.click('#album-list .item >> nth=2');
  await d.page.click('#play-album');
  await d.page.click('#play-artist');
  await d.page.click('#play-everything');
  await d.page.click('#artist-list .item >> nth=7');
  await d.page.click('#album-list .item >> nth=0');
  await d.page.click('#play-album');
  await settle(d.page);
  assert.deepEqual(await d.played(), [
    'Auralith:play/bellwethers_revolverroad.m3u',
    'Auralith:play/bellwethers.m3u',
    'Auralith:play/.m3u',
    'Auralith:play/___.m3u',
  ]);
  assert.match(await d.page.textContent('#toast'), /^Playing /);
  await d.close();
});

test('playlist names that could leave the playlist folder are never sent', async () => {
  const names = ['../../secret.m3u', 'a b.m3u', 'UPPER.m3u', 'C:/x.m3u', 'x.m3u/../../y', 'x.m3u?y', 'javascript:alert(1)//.m3u', 'x.M3U', ''];
  const artists = names.map((name, i) => ({ name: 'Bad ' + i, key: 'bad' + i, albums: [
    { name: 'Album', key: 'album', playlist: name, tracks: tracks('t') },
  ] }));
  const d = await open({ behaviour: { launch_single: 1 }, data: data(artists) });
  for (let i = 0; i < names.length; i++) {
    await d.page.click(`#artist-list .item >> nth=${i}`);
    await d.page.click('#play-album');
  }
  await settle(d.page);
  assert.deepEqual(await d.played(), []);
  assert.equal(await d.page.textContent('#toast'), 'This entry cannot be played');
  assert.deepEqual(d.dialogs, []);
  await d.close();
});

// ------------------------------------------------------------ hostile text

test('names are shown as text, never as markup', async () => {
  const hostile = [
    { name: '<script>window.__owned = 1</script>', key: 'script', albums: [
      { name: '<img src=x onerror="window.__owned = 2">', key: 'img', tracks: [
        '<b>bold</b> & "quoted"', 'back\\slash \\" and \'apostrophe\'', 'line\u2028separator', '</div><iframe src="about:blank">',
      ] },
    ] },
    { name: 'Say "Hi" \u2028 twice', key: 'sayhi', albums: [{ name: '12" Mixes', key: '12mixes', tracks: tracks('x') }] },
    { name: '', key: '_', albums: [{ name: '', key: '_', tracks: [] }] },
  ];
  const d = await open({ behaviour: { launch_single: 0 }, data: data(hostile) });
  assert.deepEqual(await texts(d.page, '#artist-list .item'),
    ['<script>window.__owned = 1</script>', 'Say "Hi" \u2028 twice', 'Unknown']);
  await d.page.click('#artist-list .item >> nth=0');
  assert.deepEqual(await texts(d.page, '#album-list .item'), ['<img src=x onerror="window.__owned = 2">']);
  await d.page.click('#album-list .item >> nth=0');
  assert.deepEqual(await texts(d.page, '#track-list .track'), hostile[0].albums[0].tracks);
  await d.page.click('#artist-list .item >> nth=1');
  assert.deepEqual(await texts(d.page, '#album-list .item'), ['12" Mixes']);
  await settle(d.page);
  assert.equal(await d.page.evaluate(() => window.__owned), undefined);
  assert.equal(await d.page.$$eval('#stage script, #stage img, #stage iframe, #stage b', (e) => e.length), 0);
  assert.deepEqual(d.dialogs, []);
  await d.close();
});

// ------------------------------------------------------------ before the first run

test('the placeholder, an empty library and a damaged file each explain themselves', async () => {
  const cases = [
    { name: 'placeholder', data: PLACEHOLDER_DATA, notice: /Welcome[\s\S]*press \u201CGenerate playlists\u201D/ },
    { name: 'no data file', data: null, notice: /press \u201CGenerate playlists\u201D/ },
    { name: 'empty library', data: data([]), notice: /No music found[\s\S]*Generate playlists/ },
    // An artist name ending in a backslash takes in its closing quote.
    { name: 'damaged', data: data([]) + 'artist_list[0]            = new Array("AC\\","ac.m3u");\r\n', notice: /could not be read[\s\S]*Generate playlists/ },
  ];
  for (const c of cases) {
    const d = await open({ data: c.data });
    assert.ok(await d.page.isVisible('#notice'), c.name);
    assert.match(await d.page.textContent('#notice'), c.notice, c.name);
    assert.deepEqual(await openColumns(d.page), [], c.name);
    if (c.name === 'placeholder') await shot(d.page, 'placeholder');
    await d.close();
  }
});

test('missing config and behaviour files fall back to the factory look', async () => {
  const d = await open({ config: null, behaviour: null, data: data(SAMPLE_LIBRARY) });
  assert.equal(await style(d.page, 'body', 'backgroundColor'), 'rgb(0, 0, 0)');
  assert.equal(await style(d.page, '#artist-list .item', 'color'), 'rgb(0, 144, 0)');
  assert.equal(await style(d.page, '#artist-list .item', 'fontSize'), '24px');
  assert.equal((await texts(d.page, '#artist-list .item')).length, SAMPLE_LIBRARY.length);
  await d.close();
});

// ------------------------------------------------------------ keyboard

test('the lists work from the keyboard', async () => {
  const d = await open({ behaviour: { launch_single: 0 }, data: data(SAMPLE_LIBRARY) });
  const k = d.page.keyboard;
  const focused = () => d.page.evaluate(() => document.activeElement.textContent);
  await k.press('Tab');
  assert.equal(await focused(), 'Arvo Lind');
  // Typing jumps to the first name that begins with the letters.
  await k.type('pa');
  assert.equal(await focused(), 'Pale Orchard');
  await new Promise((r) => setTimeout(r, 900));
  await k.type('d');
  assert.equal(await focused(), 'Dunmore Quartet');
  await k.press('Home');
  await k.press('ArrowDown');
  await k.press('ArrowDown');
  await k.press('ArrowUp');
  assert.equal(await focused(), 'The Bellwethers');
  await k.press('Enter');
  assert.deepEqual(await openColumns(d.page), ['artists', 'albums']);
  assert.equal(await focused(), 'Abbey Lane');
  await k.press('End');
  assert.equal(await focused(), 'Revolver Road');
  await k.press('ArrowLeft');
  assert.deepEqual(await openColumns(d.page), ['artists']);
  assert.equal(await focused(), 'The Bellwethers');
  await k.press('ArrowRight');
  await k.press('ArrowDown');
  await k.press('Enter');
  assert.deepEqual(await openColumns(d.page), ['artists', 'albums', 'tracks']);
  assert.equal(await d.page.evaluate(() => document.activeElement.id), 'play-album');
  await k.press('Enter');
  await settle(d.page);
  assert.deepEqual(await d.played(), ['Auralith:play/bellwethers_letitgo.m3u']);
  await k.press('Escape');
  assert.deepEqual(await openColumns(d.page), []);
  await k.press('Enter');
  assert.deepEqual(await openColumns(d.page), ['artists']);
  assert.equal(await focused(), 'The Bellwethers');
  await d.close();
});

test('on a right-hand list the left arrow opens', async () => {
  const d = await open({ behaviour: { list_side: 1, launch_single: 0 }, data: data(SAMPLE_LIBRARY) });
  const k = d.page.keyboard;
  await k.press('Tab');
  await k.press('ArrowLeft');
  assert.deepEqual(await openColumns(d.page), ['artists', 'albums']);
  await k.press('ArrowRight');
  assert.deepEqual(await openColumns(d.page), ['artists']);
  await d.close();
});

// ------------------------------------------------------------ a real library

if (process.env.AURALITH_PAGE_LIBRARY) {
  test('a library written by the builder renders every artist', async () => {
    const source = process.env.AURALITH_PAGE_LIBRARY;
    const read = (name) => fs.readFileSync(path.join(source, name));
    const expected = vm.runInNewContext(read('Auralith.data').toString('utf8') +
      ';artist_list.map(function (a) { return a[0]; })',
      { artist_list: [], album_list: [], track_list: [] });
    const d = await open({ data: null, config: null, behaviour: null });
    for (const name of ['Auralith.data', 'Auralith.config', 'Auralith.behaviour'])
      if (fs.existsSync(path.join(source, name))) fs.writeFileSync(path.join(d.dir, name), read(name));
    await d.page.reload();
    assert.ok(expected.length > 0, 'the library holds artists');
    assert.deepEqual(await texts(d.page, '#artist-list .item'), Array.from(expected));
    await shot(d.page, 'library');
    // The first album of the first artist, with its tracks as the builder
    // wrote them.
    const tracks = vm.runInNewContext(read('Auralith.data').toString('utf8') + ';track_list[0][0]',
      { artist_list: [], album_list: [], track_list: [] });
    await d.page.click('#artist-list .item >> nth=0');
    const albums = await texts(d.page, '#album-list .item');
    if (albums.length > 0) {
      await d.page.click('#album-list .item >> nth=0');
      assert.deepEqual(await texts(d.page, '#track-list .track'), Array.from(tracks));
    }
    await shot(d.page, 'library-album');
    await d.close();
  });
}

// ------------------------------------------------------------ runner

(async () => {
  let passed = 0;
  let failed = 0;
  try {
    browser = await chromium.launch({
      executablePath: process.env.AURALITH_CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    });
  } catch (error) {
    console.error('cannot start the browser: ' + error.message);
    console.log(`page: 0 passed, ${tests.length} failed`);
    process.exit(1);
  }
  const only = process.env.AURALITH_PAGE_ONLY;
  for (const t of tests) {
    if (only && !t.name.includes(only)) continue;
    const started = Date.now();
    try {
      await t.fn();
      passed++;
      console.error(`  ok    ${t.name} (${Date.now() - started} ms)`);
    } catch (error) {
      failed++;
      console.error('  FAIL  ' + t.name + '\n' + String(error && error.stack || error).replace(/^/gm, '        '));
    }
  }
  await browser.close();
  for (const dir of made) fs.rmSync(dir, { recursive: true, force: true });
  console.log(`page: ${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
