// The page around the player: which show to open (the bundled show.zip,
// ?show=URL from this site, a .zip dropped or chosen), ?at=MS to open it
// paused at that show time, the click that lets the music start, the canvas
// scaled to fit, and the list of problems.
'use strict';

(() => {
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('canvas');
  const stage = document.getElementById('stage');
  const start = document.getElementById('start');
  const play = document.getElementById('play');
  const drop = document.getElementById('drop');
  const choose = document.getElementById('choose');
  const problems = document.getElementById('problems');
  const problemList = document.getElementById('problem-list');
  const nameLine = document.getElementById('name');

  let player = 0;      // handed over by the player once it is ready
  let waiting = null;  // the show to open once the player is ready
  let opened = '';     // its archive in the player's file system

  function problem(text) {
    const item = document.createElement('li');
    item.textContent = text;
    problemList.appendChild(item);
    problems.hidden = false;
    console.warn(text);
  }

  function clearProblems() {
    problemList.textContent = '';
    problems.hidden = true;
  }

  // The show's resolution, as large as the stage allows, centred.
  function fit() {
    const width = canvas.width, height = canvas.height;
    const scale = Math.min(stage.clientWidth / width,
                           stage.clientHeight / height);
    const w = Math.max(1, Math.floor(width * scale));
    const h = Math.max(1, Math.floor(height * scale));
    canvas.style.width = w + 'px';
    canvas.style.height = h + 'px';
    canvas.style.left = Math.floor((stage.clientWidth - w) / 2) + 'px';
    canvas.style.top = Math.floor((stage.clientHeight - h) / 2) + 'px';
  }
  new ResizeObserver(fit).observe(stage);
  new MutationObserver(fit).observe(canvas,
                                    {attributes: true,
                                     attributeFilter: ['width', 'height']});

  // A whole number of milliseconds, or -1 for none.
  function showTime(text) {
    if (text === null) return -1;
    if (!/^\d+$/.test(text)) {
      problem(`at=${text}: not a show time in milliseconds; ` +
              'the show plays from its start');
      return -1;
    }
    return Number(text);
  }

  function openNow(show) {
    clearProblems();
    if (opened) {
      Module._korvane_close(player);
      for (const file of [opened, opened + '.debug.log']) {
        try { Module.FS.unlink(file); } catch (gone) { /* never written */ }
      }
    }
    const safe = show.name.replace(/[^A-Za-z0-9._ -]/g, '_') || 'show.zip';
    opened = '/shows/' + safe;
    Module.FS.mkdirTree('/shows');
    Module.FS.writeFile(opened, show.bytes);
    nameLine.textContent = show.name;
    start.hidden = true;
    Module.ccall('korvane_open', 'number', ['number', 'string', 'number'],
                 [player, opened, show.at]);
    fit();
    canvas.focus();
  }

  function open(show) {
    if (player) openNow(show);
    else waiting = show;
  }

  // For whoever automates the page: open a .zip's bytes (at: a show time
  // to open paused at, or -1 to play), show a time paused, pause or play.
  window.korvane = {
    open: (bytes, name, at = -1) =>
      open({name, bytes: new Uint8Array(bytes), at}),
    showAt: ms => player && Module._korvane_show_at(player, ms),
    pause: paused => player && Module._korvane_pause(player, paused ? 1 : 0),
  };

  // What the player calls: on standard error at home, a list here.
  window.Module = {
    canvas,
    arguments: params.has('bench') ? ['--unpaced'] : [],
    print: line => console.log(line),
    printErr: problem,
    onProblem: problem,
    onAbort: what => problem(`the player stopped: ${what}`),
    onPlayerReady: handed => {
      player = handed;
      if (waiting) openNow(waiting);
      waiting = null;
    },
  };

  async function fetchShow(url) {
    const address = new URL(url, location.href);
    if (address.origin !== location.origin)
      throw new Error('only a .zip from this site can be played');
    const response = await fetch(address);
    if (!response.ok)
      throw new Error(`${response.status} ${response.statusText}`);
    return new Uint8Array(await response.arrayBuffer());
  }

  async function readFile(file, at) {
    try {
      const bytes = new Uint8Array(await file.arrayBuffer());
      open({name: file.name, bytes, at});
    } catch (failure) {
      problem(`${file.name} cannot be read: ${failure.message}`);
    }
  }

  choose.addEventListener('change', () => {
    if (choose.files.length) readFile(choose.files[0], -1);
    choose.value = '';
  });

  let dragging = 0;
  document.addEventListener('dragenter', event => {
    event.preventDefault();
    dragging++;
    drop.hidden = false;
  });
  document.addEventListener('dragleave', () => {
    if (--dragging <= 0) drop.hidden = true;
  });
  document.addEventListener('dragover', event => event.preventDefault());
  document.addEventListener('drop', event => {
    event.preventDefault();
    dragging = 0;
    drop.hidden = true;
    const file = event.dataTransfer.files[0];
    if (file) readFile(file, -1);
  });

  const url = params.get('show') || 'show.zip';
  const at = showTime(params.get('at'));
  const last = url.split('/').pop().split('?')[0] || 'show.zip';
  let name = last;
  try { name = decodeURIComponent(last); } catch (undecodable) { /* as is */ }
  nameLine.textContent = name;
  fetchShow(url).then(bytes => {
    const show = {name, bytes, at};
    // Opened paused no music plays: the show opens at once. Otherwise the
    // person's click starts the show and its music together.
    if (at >= 0) {
      open(show);
      return;
    }
    play.textContent = `Play ${name}`;
    play.disabled = false;
    play.addEventListener('click', () => open(show), {once: true});
  }, failure => {
    play.textContent = 'No show';
    problem(`${url} cannot be fetched: ${failure.message}`);
  });
})();
