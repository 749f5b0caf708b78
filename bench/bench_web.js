// The web build's figures beside the native ones of the same run: the whole
// demo at 60 virtual frames per second, in headless Chromium (the page's
// deterministic mode, without hashing) and in `tuuli capture` (no outputs),
// natively with the CPU's widest kernels and with SSE2 only, which is what
// the web build carries out in WebAssembly SIMD. Per entry: the mean time
// of its frames; entry 0 is left out of the slowest because natively it
// also holds the start-up. And the page's size, gzipped.
//   node bench/bench_web.js   (scripts/bench runs it after scripts/web)
'use strict';
const childProcess = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');

const root = path.resolve(__dirname, '..');
const puppeteer = require(path.join(root, 'tests/web/node_modules/puppeteer-core'));
const webDir = process.env.TUULI_WEB_DIR || path.join(root, 'build-web');
const tuuli = process.env.TUULI_TUULI || path.join(root, 'build/tuuli');
const kFps = 60;

function print(name, value, unit) { console.log(`${name} ${value} ${unit}`); }

// Mean milliseconds per frame, overall and per entry, from `tuuli capture`.
function native(simd) {
  const env = { ...process.env };
  if (simd) env.TUULI_SIMD = simd; else delete env.TUULI_SIMD;
  const out = childProcess.execFileSync(tuuli, ['capture', '--dir', path.join(webDir, 'media'), '--fps',
                                                String(kFps), '--quiet'], { env, encoding: 'utf8' });
  const all = /captured (\d+) frames, .* in ([\d.]+) s/.exec(out);
  const entries = {};
  for (const m of out.matchAll(/entry +(\d+): +(\d+) frames, +([\d.]+) frames\/s/g)) entries[m[1]] = 1000 / Number(m[3]);
  return { frameMs: 1000 * Number(all[2]) / Number(all[1]), entries };
}

function serve(dir) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
  const server = http.createServer((request, response) => {
    const file = path.join(dir, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (!file.startsWith(dir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function web() {
  const server = await serve(webDir);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tuuli-web-bench-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.TUULI_CHROMIUM || '/usr/bin/chromium', userDataDir: profile, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/index.html?fps=${kFps}&log=0`);
    await page.waitForFunction(() => document.title === 'tuuli: done', { timeout: 900000, polling: 1000 });
    const { times, log, error } = await page.evaluate(() => ({ times: window.tuuliTimes,
                                                               log: window.tuuliLog, error: window.tuuliError }));
    if (error) throw new Error(error);
    const sums = {}, counts = {};
    // The time from one picture to the next counts for the entry that drew the next.
    for (let i = 1; i < times.length; ++i) {
      const e = log[i].entry;
      sums[e] = (sums[e] || 0) + times[i] - times[i - 1];
      counts[e] = (counts[e] || 0) + 1;
    }
    const entries = {};
    for (const e of Object.keys(sums)) entries[e] = sums[e] / counts[e];
    return { frameMs: (times[times.length - 1] - times[0]) / (times.length - 1), entries };
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

function slowest(entries) {
  let worst = null;
  for (const [e, ms] of Object.entries(entries)) if (e !== '0' && (worst === null || ms > worst.ms)) worst = { e, ms };
  return worst;
}

(async () => {
  // In turn, so that a busy host weighs on all three alike.
  const w = await web();
  const n = native(null);
  const s = native('sse2');
  const ws = slowest(w.entries), ns = slowest(n.entries), ss = slowest(s.entries);
  print('web.frame_ms', w.frameMs.toFixed(2), 'ms');
  print('web.slowest_entry_ms', ws.ms.toFixed(2), `ms (entry ${ws.e})`);
  print('web.native_frame_ms', n.frameMs.toFixed(2), 'ms');
  print('web.native_slowest_entry_ms', ns.ms.toFixed(2), `ms (entry ${ns.e})`);
  print('web.native_sse2_frame_ms', s.frameMs.toFixed(2), 'ms');
  print('web.native_sse2_slowest_entry_ms', ss.ms.toFixed(2), `ms (entry ${ss.e})`);
  print('web.frame_vs_native_sse2', (w.frameMs / s.frameMs).toFixed(2), 'x');
  print('web.slowest_entry_vs_native_sse2', (ws.ms / s.entries[ws.e]).toFixed(2), `x (entry ${ws.e})`);
  const gz = f => zlib.gzipSync(fs.readFileSync(path.join(webDir, f)), { level: 9 }).length;
  print('web.wasm_gzip_bytes', gz('index.wasm'), 'bytes');
  print('web.page_gzip_bytes', gz('index.html') + gz('index.js') + gz('index.wasm'), 'bytes');
})().catch(error => { console.error('bench_web: ' + error.message); process.exit(1); });
