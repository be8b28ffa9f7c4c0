// The site in headless Chromium: how long the page takes to its first
// frame, and the frames per second over the whole bundled show.
//
//   node web_bench.cjs SITE   (prints JSON)
'use strict';

const { serve, launch } = require('../tests/web/serve.cjs');

const canvasMark = (page, name) =>
  page.evaluate(n => document.getElementById('canvas').getAttribute(n), name);

(async () => {
  const server = await serve(process.argv[2]);
  const browser = await launch(process.env.KORVANE_NODE_MODULES);
  const page = await browser.newPage();
  const out = {};

  // Opening the page to the first frame on the canvas: ?at=0 opens the
  // show at once, with no click to wait for.
  for (let run = 0; run < 3; ++run) {
    const fresh = await browser.newContext();
    const first = await fresh.newPage();
    await first.goto(`${server.base}/?at=0`);
    await first.waitForSelector('#canvas[data-shown="0"]', {timeout: 60000});
    const ms = await first.evaluate(() => performance.now());
    out.firstFrameMs = Math.min(out.firstFrameMs || Infinity, Math.round(ms));
    await fresh.close();
  }

  // The whole show played as fast as the page can draw it, from the click
  // to the last frame, where the show waits paused.
  await page.goto(`${server.base}/?bench`);
  await page.waitForSelector('#play:not([disabled])', {timeout: 60000});
  await page.click('#play');
  const began = Date.now();
  await page.waitForFunction(
    () => document.getElementById('canvas').dataset.paused === 'true',
    null, {timeout: 600000, polling: 100});
  const seconds = (Date.now() - began) / 1000;
  const frames = Number(await canvasMark(page, 'data-frames'));
  out.frames = frames;
  out.seconds = seconds;
  out.fps = frames / seconds;
  console.log(JSON.stringify(out));
  await browser.close();
  server.close();
})().catch(failure => {
  console.error(failure);
  process.exit(1);
});
