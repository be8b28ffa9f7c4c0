// A static server on 127.0.0.1 for the browser tests and the benchmark:
// the site at /, a folder of the caller's at /__test/, .wasm as
// application/wasm, nothing outside either folder.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.zip': 'application/zip',
  '.png': 'image/png',
};

// The server, listening on a free port; `base` is its address.
async function serve(site, extra) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(
      new URL(request.url, 'http://127.0.0.1').pathname);
    const inExtra = extra && name.startsWith('/__test/');
    const root = path.resolve(inExtra ? extra : site);
    const file = path.resolve(root, inExtra
      ? name.slice('/__test/'.length)
      : name === '/' ? 'index.html' : name.slice(1));
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) ||
        !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {
      'Content-Type': types[path.extname(file)] || 'application/octet-stream',
    });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
  server.base = `http://127.0.0.1:${server.address().port}`;
  return server;
}

// Headless Chromium with WebGL 2 on SwiftShader.
function launch(modules) {
  const { chromium } = require(path.join(modules, 'playwright-core'));
  return chromium.launch({
    executablePath: process.env.KORVANE_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader',
           '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist'],
  });
}

module.exports = { serve, launch };
