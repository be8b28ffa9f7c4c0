// The site in a real browser: headless Chromium on SwiftShader's WebGL 2,
// driven through playwright-core, the site served on 127.0.0.1.
//
//   node browser_test.cjs SITE WORK
//
// SITE is the built site (build-web/); WORK is what scripts/web-test made:
// bundled/at_MS.png and random/at_MS.png (korvane-render's pictures),
// random.zip, broken.zip and missing.zip, and times.json naming the show
// times of each. Exits 1 when a check fails.
'use strict';

const fs = require('fs');
const path = require('path');
const { serve, launch } = require('./serve.cjs');

const [site, work] = process.argv.slice(2);
const times = JSON.parse(fs.readFileSync(path.join(work, 'times.json')));

// At most this share of pixels may differ by more than 8 in a channel.
const allowedShare = 0.005;

const failures = [];
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
}

// The share of pixels of the canvas, read from its WebGL context, that are
// off by more than 8 from the PNG at `url`, and the largest difference.
function compareWith(page, url) {
  return page.evaluate(async url => {
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2');
    const w = canvas.width, h = canvas.height;
    const got = new Uint8Array(w * h * 4);
    gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, got);
    const bitmap = await createImageBitmap(
      await (await fetch(url)).blob(),
      {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
    if (bitmap.width !== w || bitmap.height !== h)
      return {share: 1, worst: 255,
              note: `${bitmap.width}x${bitmap.height} against ${w}x${h}`};
    const context = new OffscreenCanvas(w, h).getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const want = context.getImageData(0, 0, w, h).data;
    let off = 0, worst = 0;
    for (let y = 0; y < h; ++y) {
      for (let x = 0; x < w; ++x) {
        const g = ((h - 1 - y) * w + x) * 4, r = (y * w + x) * 4;
        let d = 0;
        for (let c = 0; c < 3; ++c)
          d = Math.max(d, Math.abs(got[g + c] - want[r + c]));
        worst = Math.max(worst, d);
        if (d > 8) ++off;
      }
    }
    return {share: off / (w * h), worst, note: ''};
  }, url);
}

// A digest of the canvas's pixels.
function canvasDigest(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2');
    const pixels = new Uint8Array(canvas.width * canvas.height * 4);
    gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA,
                  gl.UNSIGNED_BYTE, pixels);
    let hash = 2166136261;
    for (const byte of pixels) hash = Math.imul(hash ^ byte, 16777619);
    return hash >>> 0;
  });
}

const mark = (page, name) =>
  page.evaluate(n => document.getElementById('canvas').getAttribute(n), name);

async function openAt(page, base, query, ms) {
  await page.goto(`${base}/?${query}${query ? '&' : ''}at=${ms}`);
  await page.waitForSelector(`#canvas[data-shown="${ms}"]`,
                             {timeout: 60000});
}

// Pictures of a show opened with ?at=MS against korvane-render's.
async function comparePictures(page, base, name, query) {
  for (const ms of times[name]) {
    await openAt(page, base, query, ms);
    const result = await compareWith(page, `/__test/${name}/at_${ms}.png`);
    check(result.share <= allowedShare,
          `${name} at ${ms} ms: ${(100 * result.share).toFixed(3)} % of ` +
          `pixels off by more than 8 (largest ${result.worst}) ${result.note}`);
  }
}

// A key pressed, and the frame drawn after it.
async function press(page, key) {
  const before = Number(await mark(page, 'data-frames'));
  await page.keyboard.press(key);
  await page.waitForFunction(
    n => Number(document.getElementById('canvas').dataset.frames) > n,
    before);
  return Number(await mark(page, 'data-time'));
}

async function keys(page, base) {
  // The first screen: the click starts the show.
  await page.goto(`${base}/`);
  await page.click('#play:not([disabled])', {timeout: 60000});
  await page.waitForFunction(
    () => Number(document.getElementById('canvas').dataset.frames) > 10);
  check(await mark(page, 'data-paused') === 'false' &&
        await page.$eval('#start', cover => cover.hidden),
        'the click on the first screen plays the bundled show');

  await openAt(page, base, '', 1500);
  const seeks = [
    ['Space', 9000], ['ArrowRight', 10000], ['Shift+ArrowRight', 20000],
    ['ArrowLeft', 19000], ['Home', 0], ['Period', 17], ['Period', 33],
    ['Comma', 17],
  ];
  for (const [key, want] of seeks) {
    const time = await press(page, key);
    check(time === want, `${key} while paused: show time ${time}, ${want} ` +
                         'wanted');
  }
  await press(page, 'KeyP');
  check(await mark(page, 'data-paused') === 'false', 'P plays on');
  await page.waitForTimeout(600);
  const played = Number(await mark(page, 'data-time'));
  check(played >= 300, `the show time runs after P: ${played} ms`);
  await press(page, 'KeyP');
  const held = Number(await mark(page, 'data-time'));
  await page.waitForTimeout(300);
  check(await mark(page, 'data-paused') === 'true' &&
        Number(await mark(page, 'data-time')) === held,
        'P again holds the show time');

  // Layer 2 of the first part, the title, is on screen at 6000 ms.
  await openAt(page, base, '', 6000);
  const all = await canvasDigest(page);
  await press(page, 'Digit2');
  const without = await canvasDigest(page);
  await press(page, 'Digit2');
  const again = await canvasDigest(page);
  await press(page, 'Shift+Digit2');
  const alone = await canvasDigest(page);
  check(without !== all && again === all && alone !== all && alone !== without,
        '2 leaves the title out and brings it back; Shift+2 plays it alone');

  const download = page.waitForEvent('download');
  await page.keyboard.press('KeyS');
  const still = await download;
  check(/^still_6000\.png$/.test(still.suggestedFilename()),
        `S downloads the still: ${still.suggestedFilename()}`);
}

async function problems(page, base) {
  const listed = () => page.$$eval('#problem-list li', items =>
    items.map(item => item.textContent));
  await page.goto(`${base}/?show=/__test/broken.zip&at=0`);
  await page.waitForSelector('#problem-list li', {timeout: 60000});
  const broken = await listed();
  check(broken.some(line => line.includes('broken.zip') &&
                            line.includes('cannot be read')),
        `a broken archive is named: ${broken.join(' | ')}`);

  await openAt(page, base, 'show=/__test/missing.zip', 6000);
  const missing = await listed();
  check(missing.some(line => line.includes('title.png')),
        `a missing picture is named, the show goes on: ${missing.join(' | ')}`);

  // Another show chosen with the button plays instead, from its start.
  await page.setInputFiles('#choose', path.join(work, 'random.zip'));
  await page.waitForFunction(() =>
    document.getElementById('name').textContent === 'random.zip' &&
    Number(document.getElementById('canvas').dataset.frames) > 10);
  check(await page.$$eval('#problem-list li', items => items.length) === 0 &&
        await mark(page, 'data-paused') === 'false',
        'a .zip chosen with the button plays instead');

  // The page's own functions: another show opened in the same canvas, then
  // another time shown, each the picture korvane-render draws.
  await page.evaluate(async () => {
    const bytes = await (await fetch('show.zip')).arrayBuffer();
    window.korvane.open(bytes, 'show.zip', 6000);
  });
  await page.waitForSelector('#canvas[data-shown="6000"]');
  const first = await compareWith(page, '/__test/bundled/at_6000.png');
  await page.evaluate(() => window.korvane.showAt(1500));
  await page.waitForSelector('#canvas[data-shown="1500"]');
  const later = await compareWith(page, '/__test/bundled/at_1500.png');
  check(first.share <= allowedShare && later.share <= allowedShare,
        'korvane.open and korvane.showAt on a canvas used before: ' +
        `${(100 * first.share).toFixed(3)} % and ` +
        `${(100 * later.share).toFixed(3)} % off`);
}

(async () => {
  const server = await serve(site, work);
  const base = server.base;
  const browser = await launch(process.env.KORVANE_NODE_MODULES);
  const page = await browser.newPage({acceptDownloads: true});
  const errors = [];
  page.on('console', message => {
    if (message.type() === 'error') errors.push(message.text());
  });
  page.on('pageerror', error => errors.push(error.message));
  try {
    await comparePictures(page, base, 'bundled', '');
    await comparePictures(page, base, 'random', 'show=/__test/random.zip');
    await keys(page, base);
    await problems(page, base);
  } catch (failure) {
    check(false, `the run: ${failure.message}`);
  }
  check(errors.length === 0, `no console error: ${errors.join(' | ')}`);
  await browser.close();
  server.close();
  console.log(failures.length ? `${failures.length} failed` : 'all passed');
  process.exit(failures.length ? 1 : 0);
})();
