// The web build in Debian's headless Chromium, against the native build:
// the deterministic mode's records and canvas against `tuuli capture --log`
// of the same media, the music's decoded length against libmpg123's, the
// message box of a media folder missing a clip against the native one, and
// the page's own failures and Escape.
//
//   node --test tests/web/web_test.js     (scripts/test runs it after scripts/web)
// Environment: TUULI_WEB_DIR (default build-web/), TUULI_TUULI (build/tuuli).
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const root = path.resolve(__dirname, '../..');
const webDir = process.env.TUULI_WEB_DIR || path.join(root, 'build-web');
const tuuli = process.env.TUULI_TUULI || path.join(root, 'build/tuuli');
const mediaDir = path.join(webDir, 'media');

// Far enough for the clip scenes, the first orbiter (entry 6, from 49.6 s)
// and the headless scene (entry 7, 49.6 to 52.8 s), not the whole demo.
const kFrames = 3240;
const kFps = 60;

// --- The native reference ---------------------------------------------------

// Runs `tuuli capture` in `dir`; its log records, its message boxes
// ("caption: text" on stderr) and libmpg123's length of the music.
function nativeCapture(dir, work) {
  const log = path.join(work, 'native-' + path.basename(dir) + '.log');
  const run = childProcess.spawnSync(tuuli, ['capture', '--dir', dir, '--fps', String(kFps), '--log', log,
                                             '--quiet'],
                                     { env: { ...process.env, TUULI_AUDIO_DEBUG: '1' }, encoding: 'utf8' });
  assert.equal(run.error, undefined, 'tuuli capture could not run: ' + run.error);
  const records = fs.readFileSync(log, 'utf8').split('\n').filter(Boolean).map(l => JSON.parse(l));
  const music = /audio: music: (\d+) frames at (\d+) Hz, (\d) channels/.exec(run.stderr);
  const boxes = run.stderr.split('\n')
                   .filter(l => l.includes(': ') && !l.startsWith('audio: ') && !l.startsWith('capture: '))
                   .map(l => ({ caption: l.slice(0, l.indexOf(': ')), text: l.slice(l.indexOf(': ') + 2) }));
  return {
    records,
    boxes,
    music: music && { frames: Number(music[1]), rate: Number(music[2]), channels: Number(music[3]) },
  };
}

// --- A site served on 127.0.0.1: the page, its media, and variants ---------

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                 '.json': 'application/json' };

function serve(siteDir) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const file = path.join(siteDir, decodeURIComponent(url.pathname));
    if (!file.startsWith(siteDir + path.sep)) { response.writeHead(403).end(); return; }
    fs.stat(file, (error, stat) => {
      if (error || !stat.isFile()) { response.writeHead(404).end(); return; }
      response.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream',
                                'Content-Length': stat.size });
      fs.createReadStream(file).pipe(response);
    });
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A media folder of links to `mediaDir` without `leaveOut`, with its own list.
function mediaWithout(target, leaveOut) {
  const list = JSON.parse(fs.readFileSync(path.join(mediaDir, 'files.json'), 'utf8'))
                   .filter(f => f.path !== leaveOut);
  for (const f of list) {
    fs.mkdirSync(path.dirname(path.join(target, f.path)), { recursive: true });
    fs.symlinkSync(path.join(mediaDir, f.path), path.join(target, f.path));
  }
  fs.writeFileSync(path.join(target, 'files.json'), JSON.stringify(list));
}

// --- The browser ------------------------------------------------------------

let browser, server, base, work, native, nativeMissing;

async function openPage(query, { beforeLoad } = {}) {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', e => problems.push(e.message));
  if (beforeLoad) await page.evaluateOnNewDocument(beforeLoad);
  await page.goto(base + query);
  return { page, problems };
}

async function waitDone(page, timeoutMs) {
  await page.waitForFunction(() => document.title === 'tuuli: done', { timeout: timeoutMs, polling: 200 });
}

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'tuuli-web-test-'));
  const site = path.join(work, 'site');
  fs.mkdirSync(site);
  for (const f of ['index.html', 'index.js', 'index.wasm']) fs.symlinkSync(path.join(webDir, f), path.join(site, f));
  fs.symlinkSync(mediaDir, path.join(site, 'media'));
  mediaWithout(path.join(site, 'nomonitor'), 'data/monitor.dat');
  // The same page whose WebAssembly is missing.
  fs.mkdirSync(path.join(site, 'nowasm'));
  for (const f of ['index.html', 'index.js']) fs.symlinkSync(path.join(webDir, f), path.join(site, 'nowasm', f));
  fs.symlinkSync(mediaDir, path.join(site, 'nowasm', 'media'));

  native = nativeCapture(mediaDir, work);
  nativeMissing = nativeCapture(path.join(site, 'nomonitor'), work);
  server = await serve(site);
  base = 'http://127.0.0.1:' + server.address().port + '/';
  browser = await puppeteer.launch({
    executablePath: process.env.TUULI_CHROMIUM || '/usr/bin/chromium',
    userDataDir: path.join(work, 'profile'),
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

// --- The deterministic mode -------------------------------------------------

// Frames whose picture the canvas is read back at: one in each kind of
// entry, each different from the picture before it, so that a canvas one
// picture behind would not pass.
function readbackFrames(records) {
  const wanted = [1, 4, 6, 7];  // clip scenes, the orbiter, the headless scene
  return wanted.map(entry => records.find((r, i) => i > 0 && r.entry === entry && r.frame < kFrames &&
                                                    r.sha256 !== records[i - 1].sha256).frame);
}

describe('deterministic mode', () => {
  let result;
  before(async () => {
    const frames = readbackFrames(native.records);
    // In the page: at those frames, the canvas read back, narrowed to
    // R5G6B5 and hashed like the records.
    const hook = `window.tuuliCanvasHashes = {};
      window.tuuliOnFrame = function(frame) {
        if (![${frames.join(',')}].includes(frame)) return;
        var rgba = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
        var packed = new Uint8Array(640 * 480 * 2);
        for (var i = 0, j = 0; i < rgba.length; i += 4, j += 2) {
          var p = (rgba[i] >> 3) << 11 | (rgba[i + 1] >> 2) << 5 | rgba[i + 2] >> 3;
          packed[j] = p & 0xff; packed[j + 1] = p >> 8;
        }
        window.tuuliCanvasHashes[frame] = crypto.subtle.digest('SHA-256', packed).then(function(d) {
          return Array.from(new Uint8Array(d), function(b) { return b.toString(16).padStart(2, '0'); }).join('');
        });
      };`;
    const { page, problems } = await openPage(`index.html?fps=${kFps}&frames=${kFrames}`,
                                              { beforeLoad: hook });
    await waitDone(page, 300000);
    result = await page.evaluate(async () => {
      const canvas = {};
      for (const [frame, hash] of Object.entries(window.tuuliCanvasHashes)) canvas[frame] = await hash;
      return { log: window.tuuliLog, canvas, music: window.tuuliMusic, error: window.tuuliError,
               status: document.getElementById('status').textContent };
    });
    result.frames = frames;
    result.problems = problems;
    await page.close();
  });

  it('runs without errors and stops after the frames asked for', () => {
    assert.deepEqual(result.problems, []);
    assert.equal(result.error, null);
    assert.equal(result.log.length, kFrames);
    assert.match(result.status, new RegExp(`after ${kFrames} pictures`));
  });

  it('publishes the native capture\'s record for every frame', () => {
    const entries = new Set(result.log.map(r => r.entry));
    for (const entry of [0, 1, 6, 7]) assert.ok(entries.has(entry), 'entry ' + entry + ' was not reached');
    for (let i = 0; i < result.log.length; ++i) {
      // Only the first difference: a wrong picture would repeat thousands of times.
      assert.deepEqual(result.log[i], native.records[i], 'frame ' + i);
    }
  });

  it('shows each frame\'s picture on the canvas as it is presented', () => {
    for (const frame of result.frames) {
      assert.equal(result.canvas[frame], native.records[frame].sha256, 'canvas at frame ' + frame);
    }
  });

  it('decodes the music to the length libmpg123 gives', () => {
    assert.ok(native.music, 'the native capture did not report its music');
    assert.deepEqual(result.music, native.music);
  });
});

// --- Failures the page must state ------------------------------------------

describe('failures', () => {
  it('a media folder missing a clip shows the native message boxes in turn as an overlay', async () => {
    assert.equal(nativeMissing.records.length, 0);
    assert.ok(nativeMissing.boxes.length >= 1, 'the native capture showed no message box');
    const { page } = await openPage(`index.html?fps=${kFps}&media=nomonitor`);
    await waitDone(page, 60000);
    const shownBox = () => page.evaluate(() => getComputedStyle(document.getElementById('box')).display === 'none'
      ? null
      : { caption: document.getElementById('box-caption').textContent,
          text: document.getElementById('box-text').textContent });
    const shown = [];
    for (let box; (box = await shownBox()) !== null && shown.length <= nativeMissing.boxes.length;) {
      shown.push(box);
      await page.click('#box-ok');
    }
    const frames = await page.evaluate(() => window.tuuliLog.length);
    await page.close();
    assert.deepEqual(shown, nativeMissing.boxes);
    assert.equal(frames, 0);
  });

  const cases = [
    { name: 'no WebAssembly file', query: 'nowasm/index.html?fps=60', says: /WebAssembly program could not be loaded/ },
    { name: 'no media folder', query: 'index.html?fps=60&media=absent', says: /media could not be loaded: .*files\.json: 404/ },
    { name: 'a media path leaving the page\'s folder', query: 'index.html?fps=60&media=..', says: /plain folder name/ },
    { name: 'an fps that is not a number', query: 'index.html?fps=sixty', says: /fps must be a whole number/ },
  ];
  for (const c of cases) {
    it(`says so when it cannot run: ${c.name}`, async () => {
      const { page } = await openPage(c.query);
      await waitDone(page, 60000);
      const shown = await page.evaluate(() => ({ error: window.tuuliError,
                                                 status: document.getElementById('status').textContent }));
      await page.close();
      assert.match(shown.error, c.says);
      assert.equal(shown.status, shown.error);
    });
  }
});

// --- Real time, with the start button and Escape ----------------------------

describe('real time', () => {
  it('starts on the button, plays, and ends on Escape as natively', async () => {
    const { page, problems } = await openPage('index.html');
    await page.waitForSelector('#start:not([disabled])', { timeout: 60000 });
    await page.click('#start');
    await page.waitForFunction(() => window.tuuliTimes.length >= 30 && window.tuuliMusic !== null,
                               { timeout: 60000 });
    await page.keyboard.press('Escape');
    await waitDone(page, 30000);
    const shown = await page.evaluate(() => ({ status: document.getElementById('status').textContent,
                                               frames: window.tuuliTimes.length, log: window.tuuliLog.length }));
    await new Promise(resolve => setTimeout(resolve, 300));
    const later = await page.evaluate(() => window.tuuliTimes.length);
    await page.close();
    assert.deepEqual(problems, []);
    assert.match(shown.status, /Escape/);
    assert.equal(later, shown.frames, 'pictures were still presented after the end');
    assert.equal(shown.log, 0, 'real time keeps no records');
  });
});
